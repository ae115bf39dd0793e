#pragma once

#include <QSqlQueryModel>
#include <QVariant>
#include <QVector>

// A query model that keeps a copy of every row it was given. Connections are
// replaced by name at every operation, which leaves the rows of a plain
// QSqlQueryModel unreadable; this one still shows the last rows read.
class SqlSnapshotModel : public QSqlQueryModel
{
    Q_OBJECT

public:
    explicit SqlSnapshotModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &item, int role = Qt::DisplayRole) const override;

protected:
    void queryChange() override;

private:
    QVector<QVector<QVariant>> rows;
};
