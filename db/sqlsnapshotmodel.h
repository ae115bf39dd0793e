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
    // Whole: every row is copied as soon as the query is set, so the rows stay
    // when its connection is replaced. OnDemand: each row when first asked
    // for, for a connection held as long as the model (the menu's), so that
    // thousands of rows of which a screenful is seen are not all converted.
    enum class Copy { Whole, OnDemand };

    explicit SqlSnapshotModel(QObject *parent = nullptr, Copy copy = Copy::Whole);

    QVariant data(const QModelIndex &item, int role = Qt::DisplayRole) const override;

protected:
    void queryChange() override;

private:
    // The row's values, read from the query the first time it is asked for.
    const QVector<QVariant> &cachedRow(int row) const;

    mutable QVector<QVector<QVariant>> rows;
    Copy copy;
};
