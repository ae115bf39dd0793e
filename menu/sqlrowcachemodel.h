#pragma once

#include <QSqlQueryModel>
#include <QVariant>
#include <QVector>

// A query model that reads each row once. A plain QSqlQueryModel moves its
// cursor and converts the whole row again for every cell it is asked for,
// which makes sorting and sizing thousands of rows slow.
class SqlRowCacheModel : public QSqlQueryModel
{
    Q_OBJECT

public:
    explicit SqlRowCacheModel(QObject *parent = nullptr);

    QVariant data(const QModelIndex &item, int role = Qt::DisplayRole) const override;

private:
    mutable QVector<QVector<QVariant>> rows;
};
