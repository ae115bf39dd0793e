#pragma once

#include "sqlresult.h"

#include <QAbstractTableModel>
#include <QHash>

// Rows read off a statement, on whichever thread ran it, shown as given.
class SqlRowsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(const SqlRows &rows);
    const SqlRows &shownRows() const { return rows; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &item, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role = Qt::EditRole) override;

private:
    SqlRows rows;
    QHash<int, QVariant> headers;   // horizontal, by column
};
