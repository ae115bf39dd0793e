#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

#include <functional>

class DatabaseWatch;
class QSqlQueryModel;
class QStyledItemDelegate;
class QTableView;

// The store's orders of the last two days in the window's table: read when
// due, kept due until a read succeeds, and looked for by the newest order
// number while no announcement can arrive.
class RecentOrders : public QObject
{
    Q_OBJECT

public:
    RecentOrders(QTableView *view, std::function<QDateTime()> clock, QObject *parent = nullptr);
    ~RecentOrders() override;

    void setStore(int id) { idPizzaria = id; }
    // Starts the background check that the database answers.
    void watchDatabase();

    bool LerUltimosPedidos(int id, QSqlQueryModel *target);
    // Reads the list now; false, and the list still due, when the read failed.
    bool refresh();
    void markOutdated() { outdated = true; }
    // The tick's step: one read when due and the database is worth a try.
    void refreshIfDue();
    // While no queue consumes, every little while: a newer order than listed makes the list due.
    void pollNewestOrder(bool consuming);
    // The order number shown in a row of the table.
    int orderAt(int row) const;

signals:
    // After every successful read: whether an order waits for approval.
    void refreshed(bool orderWaiting);

private:
    int newestOrderNumber();
    void noteDatabaseFailure(qint64 tookMs);
    bool databaseWorthTrying() const;
    void installDelegates();

    QTableView *view;
    std::function<QDateTime()> clock;
    int idPizzaria = 0;
    QSqlQueryModel *model;
    DatabaseWatch *databaseWatch;
    QStyledItemDelegate *delegates[4] = {};
    bool outdated = false;             // read before the alarm step, until one succeeds
    int newestOrderSeen = 0;           // the highest order number listed or looked up
    QElapsedTimer newestOrderPoll;     // since the last look while no queue consumes
    QElapsedTimer slowDatabaseFailure; // since a statement waited out its limit
};
