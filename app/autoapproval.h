#pragma once

#include "consoleoptions.h"

#include <QList>
#include <QObject>
#include <QSet>

#include <functional>

class QAmqpClient;
class StatementRunner;
class StorePublisher;
struct SqlRows;
struct SqlResult;

// Approves and prints the store's new orders without the operator, on a
// console set to. The approval is the dialog's guarded write (only over status
// 0, one row changed), so of several consoles of the store only the one whose
// write changed the row prints and announces. Orders that already waited when
// it started or was switched on stay for the operator: they may be hours old.
// A ticket that reached no printer keeps the order calling the operator, also
// across a restart, until it is printed by hand.
class AutoApproval : public QObject
{
    Q_OBJECT

public:
    // statements: the order dialogs' runner, so one path writes each order.
    AutoApproval(StatementRunner *statements, std::function<void(QAmqpClient *)> configure, QObject *parent = nullptr);
    ~AutoApproval() override;

    // Switched on, the next list read tells what was already waiting.
    void setEnabled(bool on);
    bool isEnabled() const { return enabled; }
    void setStore(int id);
    // After each list read of store: takes the new orders, and says whether
    // any order calls the operator.
    bool ordersListed(int store, const QList<int> &waiting, const QSet<int> &listed);
    bool callsOperator() const;
    // Approved here, their ticket on no printer: marked in the list.
    QSet<int> unprinted() const;
    // Its ticket reached every printer from the order's dialog.
    void printedByHand(int order);

signals:
    // An order was approved here, or what calls the operator changed,
    // between list reads.
    void changed();
    // An order approved here; printed or not.
    void handled(int order, bool printed);

private:
    struct Read;
    void approve(int order);
    void written(int order, int id, const Read &read, const SqlResult &result);
    void print(int order, const QString &html);
    void keepUnprinted(int order, bool keep);

    ConsoleOptions options;   // this console's file, wherever the process works later
    StatementRunner *statements;
    std::function<void(QAmqpClient *)> configure;
    StorePublisher *publisher = nullptr;
    bool enabled = false;
    int store = 0;
    bool waitingKnown = false;   // the orders already waiting were taken from a list
    QSet<int> forOperator;       // new orders this console leaves to the operator
    QSet<int> taken;             // orders whose approval was started here
    QSet<int> notPrinted;        // kept in the console's options, with those under way
    QSet<int> underWay;          // approving or printing now
    QList<int> lastWaiting;
};
