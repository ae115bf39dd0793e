#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QVariantMap>

#include <functional>

class StatementRunner;
class QSqlQueryModel;
class SqlRowsModel;
struct SqlRows;
class QStyledItemDelegate;
class StatusDelegate;
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

    // The list's read; :id the store, :data the cutoff of recentOrdersCutoff().
    static const QString statement;

    void setStore(int id) { idPizzaria = id; }

    bool LerUltimosPedidos(int id, QSqlQueryModel *target);
    // Reads the list at once, in the background; a failed read leaves it due.
    void refresh();
    void markOutdated() { outdated = true; }
    // While the database watch finds the server down, the tick's reads wait for it.
    void setDatabaseUp(bool up) { databaseUp = up; }
    // The tick's step: when due, a read in the background.
    void refreshIfDue();
    bool isReading() const { return reading; }
    // While no queue consumes, every little while: an order the list would show and does not makes it due.
    void pollNewestOrder(bool consuming);
    // The order number shown in a row of the table.
    int orderAt(int row) const;
    // Of the last read: its store, its orders, those with status 0.
    int listedStore() const { return shownStore; }
    const QSet<int> &listed() const { return listedOrders; }
    QList<int> waitingOrders() const;
    // Marked in the status column until printed.
    void setUnprinted(const QSet<int> &orders);

signals:
    // After every successful read: whether an order waits for approval.
    void refreshed(bool orderWaiting);
    // A read failed; the list stays due.
    void readFailed();

private:
    QVariantMap readBindings(int id) const;
    void failed();
    void show(const SqlRows &rows, bool sameStore);
    static QVector<int> changedRows(const SqlRows &old, const SqlRows &now);
    void widenColumnsFor(const QVector<int> &rows);
    void installDelegates();

    QTableView *view;
    std::function<QDateTime()> clock;
    int idPizzaria = 0;
    SqlRowsModel *model;
    StatementRunner *reader;
    QStyledItemDelegate *delegates[3] = {};
    StatusDelegate *statusDelegate = nullptr;
    bool databaseUp = true;
    bool outdated = false;             // to be read, until a read succeeds
    bool reading = false;              // a background read is under way
    int readsStarted = 0;              // numbers the reads: only the latest is shown
    int shownStore = 0;
    QSet<int> listedOrders;            // the order numbers of the last list read
    QElapsedTimer newestOrderPoll;     // since the last look while no queue consumes
};
