#include "sqlsnapshotmodel.h"

SqlSnapshotModel::SqlSnapshotModel(QObject *parent)
    : QSqlQueryModel(parent)
{
}

void SqlSnapshotModel::queryChange()
{
    while (canFetchMore())
        fetchMore();
    const int rowCount = QSqlQueryModel::rowCount();
    const int columnCount = QSqlQueryModel::columnCount();
    QVector<QVector<QVariant>> copy(rowCount);
    for (int row = 0; row < rowCount; ++row) {
        copy[row].reserve(columnCount);
        for (int column = 0; column < columnCount; ++column)
            copy[row].append(QSqlQueryModel::data(index(row, column)));
    }
    rows.swap(copy);
}

QVariant SqlSnapshotModel::data(const QModelIndex &item, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QSqlQueryModel::data(item, role);
    if (!item.isValid() || item.row() >= rows.size() || item.column() >= rows.at(item.row()).size())
        return QVariant();
    return rows.at(item.row()).at(item.column());
}
