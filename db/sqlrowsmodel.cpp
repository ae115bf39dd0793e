#include "sqlrowsmodel.h"

void SqlRowsModel::setRows(const SqlRows &newRows)
{
    beginResetModel();
    rows = newRows;
    endResetModel();
}

int SqlRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.values.size();
}

int SqlRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.columns;
}

QVariant SqlRowsModel::data(const QModelIndex &item, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !item.isValid() || item.row() >= rows.values.size())
        return QVariant();
    return rows.values.at(item.row()).value(item.column());
}

QVariant SqlRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::EditRole) && headers.contains(section))
        return headers.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool SqlRowsModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::EditRole) || section < 0)
        return false;
    headers.insert(section, value);
    emit headerDataChanged(orientation, section, section);
    return true;
}
