#include "sqlrowcachemodel.h"

#include <QSqlQuery>
#include <QSqlRecord>

SqlRowCacheModel::SqlRowCacheModel(QObject *parent)
    : QSqlQueryModel(parent)
{
    // Cleared before the reset, so nothing reads the old rows as the new ones.
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] { rows.clear(); });
}

QVariant SqlRowCacheModel::data(const QModelIndex &item, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !item.isValid() || item.row() >= rowCount())
        return QSqlQueryModel::data(item, role);
    if (rows.size() <= item.row())
        rows.resize(rowCount());
    QVector<QVariant> &row = rows[item.row()];
    if (row.isEmpty()) {
        QSqlQuery cursor = query();   // shares the model's result set
        if (!cursor.seek(item.row()))
            return QVariant();
        const QSqlRecord values = cursor.record();
        row.reserve(values.count());
        for (int column = 0; column < values.count(); ++column)
            row.append(values.value(column));
    }
    return row.value(item.column());
}
