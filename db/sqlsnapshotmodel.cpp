#include "sqlsnapshotmodel.h"

#include <QSqlQuery>
#include <QSqlRecord>

SqlSnapshotModel::SqlSnapshotModel(QObject *parent, Copy copy)
    : QSqlQueryModel(parent)
    , copy(copy)
{
    // Cleared before the reset: views read the new rows during it, before
    // queryChange() runs, and must not be given the old ones.
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] { rows.clear(); });
}

void SqlSnapshotModel::queryChange()
{
    // Copied in order, so the cursor only steps forward.
    while (canFetchMore())
        fetchMore();
    if (copy == Copy::OnDemand)
        return;
    const int rowCount = QSqlQueryModel::rowCount();
    for (int row = 0; row < rowCount; ++row)
        cachedRow(row);
}

QVariant SqlSnapshotModel::data(const QModelIndex &item, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QSqlQueryModel::data(item, role);
    if (!item.isValid() || item.row() >= rowCount())
        return QVariant();
    return cachedRow(item.row()).value(item.column());
}

const QVector<QVariant> &SqlSnapshotModel::cachedRow(int row) const
{
    if (rows.size() <= row)
        rows.resize(rowCount());
    QVector<QVariant> &values = rows[row];
    if (values.isEmpty()) {
        QSqlQuery cursor = query();   // shares the model's result set
        if (cursor.seek(row)) {
            const int columnCount = record().count();
            values.reserve(columnCount);
            for (int column = 0; column < columnCount; ++column)
                values.append(cursor.value(column));
        }
    }
    return values;
}
