#pragma once

#include <QSqlQueryModel>
#include <QVariant>
#include <QVector>

// A query model that keeps a copy of every row it was given, each read once.
// Connections are replaced by name at every operation, which leaves the rows
// of a plain QSqlQueryModel unreadable; and a plain one moves its cursor and
// converts the whole row again for every cell it is asked for, which makes
// sorting and sizing thousands of rows slow.
class SqlSnapshotModel : public QSqlQueryModel
{
    Q_OBJECT

public:
    explicit SqlSnapshotModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &item, int role = Qt::DisplayRole) const override;

protected:
    void queryChange() override;

private:
    // The row's values, read from the query the first time it is asked for.
    const QVector<QVariant> &cachedRow(int row) const;

    mutable QVector<QVector<QVariant>> rows;
};
