#include "recentorders.h"

#include "connection.h"
#include "statementrunner.h"
#include "orderdelegates.h"
#include "ordertexts.h"
#include "sqlrowsmodel.h"
#include "consolelog.h"

#include <QDebug>
#include <QHash>
#include <QSqlError>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTime>

#include <utility>

namespace {

// While no queue consumes, the database is asked this often for a newer order.
constexpr qint64 newestOrderPollMs = 15000;

} // namespace

const QString RecentOrders::statement = QStringLiteral(
    "select id_pedido, data, valor, desconto, status from pedido where id_pizzaria=:id and data > :data order by "
    "id_pedido desc");

RecentOrders::RecentOrders(QTableView *view, std::function<QDateTime()> clock, QObject *parent)
    : QObject(parent)
    , view(view)
    , clock(std::move(clock))
    // Kept for the window's whole life; it holds the last rows read.
    , model(new SqlRowsModel(this))
    , reader(new StatementRunner(this))
{
}

RecentOrders::~RecentOrders() = default;

// Writes the read's debug line; the bindings for store id at this moment.
QVariantMap RecentOrders::readBindings(int id) const
{
    qCDebug(lcConsole) << "LerUltimosPedidos" << QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    return {{QStringLiteral(":id"), id}, {QStringLiteral(":data"), recentOrdersCutoff(clock())}};
}

bool RecentOrders::LerUltimosPedidos(int id, QSqlQueryModel *target)
{
    QString error;
    const QVariantMap bindings = readBindings(id);
    if (readIntoModel(QString(), statement, bindings, target, &error))
        return true;
    qCDebug(lcConsole) << "LerUltimosPedidos" << error << bindings.value(QStringLiteral(":data")).toLongLong();
    return false;
}

// A read asked for by hand: at once, in the background, ahead of any read
// under way, whose rows would be older.
void RecentOrders::refresh()
{
    outdated = true;
    reading = false;
    const bool up = std::exchange(databaseUp, true);
    refreshIfDue();
    databaseUp = up;
}

// The reads run on a thread of their own: a database that stops answering
// holds that thread, never the window. However many messages asked for one,
// one read; those that arrive while it runs ask for the next. A failed read
// stays due: every tick tries again until one succeeds, so an order
// announced while the database was away rings once it is back.
void RecentOrders::refreshIfDue()
{
    if (!outdated || reading || !databaseUp)
        return;
    outdated = false;
    reading = true;
    const int read = ++readsStarted;
    const QVariantMap bindings = readBindings(idPizzaria);
    reader->run(statement, bindings, [this, read, bindings, store = idPizzaria](const SqlResult &rows) {
        if (read != readsStarted)   // a read by hand since is newer
            return;
        reading = false;
        if (!rows.ok()) {
            qCDebug(lcConsole) << "LerUltimosPedidos" << rows.error << bindings.value(QStringLiteral(":data")).toLongLong();
            failed();
            return;
        }
        show(rows, std::exchange(shownStore, store) == store);
    });
}

void RecentOrders::failed()
{
    outdated = true;
    emit readFailed();
}

// A read like the last one changes nothing on screen, so a refresh keeps the
// operator's selection; otherwise only the rows that changed are measured, as
// measuring 2,000 rows at every announcement took longer than reading them.
void RecentOrders::show(const SqlRows &rows, bool sameStore)
{
    if (sameStore && rows.values == model->shownRows().values) {
        emit refreshed(!waitingOrders().isEmpty());
        return;
    }
    const QVector<int> changed = sameStore ? changedRows(model->shownRows(), rows) : QVector<int>();
    model->setRows(rows);
    listedOrders.clear();
    for (const QVector<QVariant> &row : rows.values)
        listedOrders.insert(row.value(0).toInt());

    const QStringList headers{QStringLiteral("Pedido"), QStringLiteral("Data"), QStringLiteral("Valor (R$)"),
                              QStringLiteral("Desconto (R$)"), QStringLiteral("Status")};
    for (int column = 0; column < headers.size(); ++column)
        model->setHeaderData(column, Qt::Horizontal, headers.at(column));
    view->setModel(model);
    installDelegates();
    if (sameStore)
        widenColumnsFor(changed);
    else
        view->resizeColumnsToContents();

    emit refreshed(!waitingOrders().isEmpty());
}

// The rows of the new read that were not in the old one as they are now.
QVector<int> RecentOrders::changedRows(const SqlRows &old, const SqlRows &now)
{
    QHash<int, int> oldRowOf;
    oldRowOf.reserve(old.values.size());
    for (int row = 0; row < old.values.size(); ++row)
        oldRowOf.insert(old.values.at(row).value(0).toInt(), row);
    QVector<int> changed;
    for (int row = 0; row < now.values.size(); ++row) {
        const int before = oldRowOf.value(now.values.at(row).value(0).toInt(), -1);
        if (before < 0 || old.values.at(before) != now.values.at(row))
            changed.append(row);
    }
    return changed;
}

// Columns only grow, so no text of a row measured before is cut.
void RecentOrders::widenColumnsFor(const QVector<int> &rows)
{
    const int grid = view->showGrid() ? 1 : 0;
    for (int column = 0; column < model->columnCount(); ++column) {
        int width = view->columnWidth(column);
        for (int row : rows)
            width = qMax(width, view->sizeHintForIndex(model->index(row, column)).width() + grid);
        if (width != view->columnWidth(column))
            view->setColumnWidth(column, width);
    }
}

QList<int> RecentOrders::waitingOrders() const
{
    QList<int> waiting;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->data(model->index(row, 4)).toInt() == 0)
            waiting.append(orderAt(row));
    }
    return waiting;
}

void RecentOrders::setUnprinted(const QSet<int> &orders)
{
    installDelegates();
    statusDelegate->setUnprinted(orders);
    QVector<int> marked;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (orders.contains(orderAt(row)))
            marked.append(row);
    }
    widenColumnsFor(marked);
    view->viewport()->update();
}

int RecentOrders::orderAt(int row) const
{
    return model->data(model->index(row, 0)).toInt();
}

// Nothing announces new orders while no queue consumes: every little while the
// numbers the list would show are read, in the background, and one not listed
// makes the list due (which rings), as its announcement would have. Numbers
// are not enough by their size: two checkouts at once can commit the higher
// one first.
void RecentOrders::pollNewestOrder(bool consuming)
{
    if (consuming) {
        newestOrderPoll.invalidate();
        return;
    }
    if ((newestOrderPoll.isValid() && newestOrderPoll.elapsed() < newestOrderPollMs) || !databaseUp)
        return;
    newestOrderPoll.start();
    const QVariantMap bindings{{QStringLiteral(":id"), idPizzaria}, {QStringLiteral(":data"), recentOrdersCutoff(clock())}};
    reader->run(QStringLiteral("select id_pedido from pedido where id_pizzaria=:id and data > :data"), bindings,
                   [this](const SqlResult &rows) {
                       if (!rows.ok())
                           return;
                       for (const QVector<QVariant> &row : rows.values) {
                           if (!listedOrders.contains(row.value(0).toInt())) {
                               outdated = true;
                               return;
                           }
                       }
                   });
}

// The delegates are made once and set again on every refresh.
void RecentOrders::installDelegates()
{
    if (!statusDelegate) {
        delegates[0] = new DateFormatDelegate(this);
        delegates[1] = new NumberFormatDelegate(this);
        delegates[2] = new NumberFormatDelegate(this);
        statusDelegate = new StatusDelegate(this);
    }
    for (int column = 1; column <= 3; ++column)
        view->setItemDelegateForColumn(column, delegates[column - 1]);
    view->setItemDelegateForColumn(4, statusDelegate);
}
