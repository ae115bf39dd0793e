#include "recentorders.h"

#include "connection.h"
#include "connectionsettings.h"
#include "databasewatch.h"
#include "orderdelegates.h"
#include "ordertexts.h"
#include "sqlsnapshotmodel.h"
#include "consolelog.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTime>

namespace {

// While no queue consumes, the database is asked this often for a newer order;
// after a statement waited out its limit, the tick's own statements wait as long.
constexpr qint64 newestOrderPollMs = 15000;

// A failure that took this long was a wait, not a refusal.
constexpr qint64 slowDatabaseMs = 1000;

} // namespace

RecentOrders::RecentOrders(QTableView *view, std::function<QDateTime()> clock, QObject *parent)
    : QObject(parent)
    , view(view)
    , clock(std::move(clock))
    // Kept for the window's whole life; it holds the last rows read.
    , model(new SqlSnapshotModel(this))
    , databaseWatch(new DatabaseWatch(this))
{
    connect(databaseWatch, &DatabaseWatch::answersChanged, this, [this](bool answers) {
        // Back: whatever was announced meanwhile is read at the next tick.
        if (answers)
            outdated = true;
        else
            connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
    });
}

RecentOrders::~RecentOrders() = default;

void RecentOrders::watchDatabase()
{
    databaseWatch->start();
}

bool RecentOrders::LerUltimosPedidos(int id, QSqlQueryModel *target)
{
    ConectaBanco();
    QSqlQuery query(QSqlDatabase{});
    qCDebug(lcConsole) << "LerUltimosPedidos" << QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    const qint64 cutoff = recentOrdersCutoff(clock());
    query.prepare(QStringLiteral("select id_pedido, data, valor, desconto, status from pedido where "
                                 "id_pizzaria=:id and data > :data order by id_pedido desc"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":data"), cutoff);
    if (query.exec()) {
        target->setQuery(query);
        return true;
    }
    qCDebug(lcConsole) << "LerUltimosPedidos" << query.lastError().text() << cutoff;
    return false;
}

// A failed refresh stays due: every tick tries again until one succeeds, so an
// order announced while the database was away rings once it is back.
bool RecentOrders::refresh()
{
    QElapsedTimer took;
    took.start();
    if (!LerUltimosPedidos(idPizzaria, model)) {
        connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
        outdated = true;
        noteDatabaseFailure(took.elapsed());
        return false;
    }
    slowDatabaseFailure.invalidate();
    outdated = false;
    newestOrderSeen = qMax(newestOrderSeen, orderAt(0));
    connectionSettings.serverStatusText = QStringLiteral("Servidor conectado!");

    const QStringList headers{QStringLiteral("Pedido"), QStringLiteral("Data"), QStringLiteral("Valor (R$)"),
                              QStringLiteral("Desconto (R$)"), QStringLiteral("Status")};
    for (int column = 0; column < headers.size(); ++column)
        model->setHeaderData(column, Qt::Horizontal, headers.at(column));
    view->setModel(model);
    installDelegates();
    view->resizeColumnsToContents();

    bool waiting = false;
    for (int row = 0; row < model->rowCount() && !waiting; ++row)
        waiting = model->data(model->index(row, 4)).toInt() == 0;
    emit refreshed(waiting);
    return true;
}

void RecentOrders::refreshIfDue()
{
    // However many messages asked for it, one refresh.
    if (outdated && databaseWorthTrying())
        refresh();
}

int RecentOrders::orderAt(int row) const
{
    return model->data(model->index(row, 0)).toInt();
}

// A server that refuses at once is asked again at the next tick; one that
// let a statement wait out its limit (a line that drops packets) is left
// alone for a while, since each try holds the window that long.
void RecentOrders::noteDatabaseFailure(qint64 tookMs)
{
    if (tookMs >= slowDatabaseMs)
        slowDatabaseFailure.start();
}

bool RecentOrders::databaseWorthTrying() const
{
    return databaseWatch->answers()
        && (!slowDatabaseFailure.isValid() || slowDatabaseFailure.elapsed() >= newestOrderPollMs);
}

// The store's newest order number, or -1 when it cannot be read.
int RecentOrders::newestOrderNumber()
{
    QElapsedTimer took;
    took.start();
    ConectaBanco();
    QSqlQuery query(QSqlDatabase{});
    query.prepare(QStringLiteral("select max(id_pedido) from pedido where id_pizzaria=:id"));
    query.bindValue(QStringLiteral(":id"), idPizzaria);
    if (!query.exec() || !query.next()) {
        noteDatabaseFailure(took.elapsed());
        return -1;
    }
    return query.value(0).toInt();
}

// Nothing announces new orders while no queue consumes: every little while the
// newest order number is read, and a newer one than seen refreshes the list
// (which rings), as its announcement would have.
void RecentOrders::pollNewestOrder(bool consuming)
{
    if (consuming) {
        newestOrderPoll.invalidate();
        return;
    }
    if ((newestOrderPoll.isValid() && newestOrderPoll.elapsed() < newestOrderPollMs) || !databaseWorthTrying())
        return;
    newestOrderPoll.start();
    const int newest = newestOrderNumber();
    if (newest > newestOrderSeen) {
        newestOrderSeen = newest;
        outdated = true;
    }
}

// The delegates are made once and set again on every refresh.
void RecentOrders::installDelegates()
{
    if (!delegates[0]) {
        delegates[0] = new DateFormatDelegate(this);
        delegates[1] = new NumberFormatDelegate(this);
        delegates[2] = new NumberFormatDelegate(this);
        delegates[3] = new StatusDelegate(this);
    }
    for (int column = 1; column <= 4; ++column)
        view->setItemDelegateForColumn(column, delegates[column - 1]);
}
