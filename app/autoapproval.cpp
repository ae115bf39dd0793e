#include "autoapproval.h"

#include "brokermessage.h"
#include "connectionsettings.h"
#include "consolelog.h"
#include "consoleoptions.h"
#include "pedidostatements.h"
#include "printjob.h"
#include "sqlsession.h"
#include "statementrunner.h"
#include "storepublisher.h"
#include "ticket.h"

#include <QDebug>
#include <QPointer>

#include <memory>

struct AutoApproval::Read
{
    SqlRows cliente, linhas;
};

AutoApproval::AutoApproval(StatementRunner *statements, std::function<void(QAmqpClient *)> configure, QObject *parent)
    : QObject(parent)
    , statements(statements)
    , configure(std::move(configure))
    , notPrinted(options.unprinted())
{
}

AutoApproval::~AutoApproval()
{
    if (publisher)
        publisher->finish();
}

void AutoApproval::setEnabled(bool on)
{
    if (on && !enabled)
        waitingKnown = false;
    enabled = on;
}

void AutoApproval::setStore(int id)
{
    if (id == store)
        return;
    store = id;
    waitingKnown = false;
    taken.clear();
}

bool AutoApproval::ordersListed(int listedStore, const QList<int> &waiting, const QSet<int> &listed)
{
    lastWaiting = waiting;
    // What the list no longer shows is forgotten: nothing grows past two days of orders.
    taken.intersect(listed);
    const QSet<int> stillListed = QSet<int>(notPrinted).intersect(listed);
    if (listedStore == store && stillListed.size() != notPrinted.size()) {
        notPrinted = stillListed;
        options.setUnprinted(notPrinted);
    }
    forOperator.intersect(QSet<int>(waiting.cbegin(), waiting.cend()));
    if (enabled && store != 0 && listedStore == store) {
        if (!waitingKnown) {
            waitingKnown = true;
            forOperator.unite(QSet<int>(waiting.cbegin(), waiting.cend()));
        }
        for (int order : waiting) {
            if (!forOperator.contains(order) && !taken.contains(order))
                approve(order);
        }
    }
    return callsOperator();
}

QSet<int> AutoApproval::unprinted() const
{
    return QSet<int>(notPrinted).subtract(underWay);
}

bool AutoApproval::callsOperator() const
{
    if (!unprinted().isEmpty())
        return true;
    for (int order : lastWaiting) {
        if (!enabled || !waitingKnown || forOperator.contains(order))
            return true;
    }
    return false;
}

void AutoApproval::printedByHand(int order)
{
    if (!notPrinted.contains(order))
        return;
    keepUnprinted(order, false);
    emit changed();
}

void AutoApproval::keepUnprinted(int order, bool keep)
{
    if (keep)
        notPrinted.insert(order);
    else
        notPrinted.remove(order);
    if (!options.setUnprinted(notPrinted))
        qCWarning(lcConsole) << "os pedidos não impressos não foram gravados em" << consoleOptionsFileName;
}

// Read first, then written: an order approved here must reach the kitchen, so
// one that cannot be read stays new. It counts as unprinted from before the
// write: a console that ends before its ticket is out still calls for it.
void AutoApproval::approve(int order)
{
    taken.insert(order);
    underWay.insert(order);
    keepUnprinted(order, true);
    auto read = std::make_shared<Read>();
    const int id = store;
    statements->run(
        [read, order, id](SqlSession &session) {
            const QVariantMap keys{{QStringLiteral(":id"), id}, {QStringLiteral(":id_pedido"), order}};
            SqlResult cliente = session.exec(PedidoSql::cliente, keys);
            if (cliente.ok() && cliente.values.isEmpty())
                cliente.error = QStringLiteral("Pedido não encontrado!!!");
            if (!cliente.ok())
                return cliente;
            const SqlResult linhas = session.exec(PedidoSql::linhas, keys);
            if (!linhas.ok())
                return linhas;
            *read = {cliente, linhas};
            return session.exec(PedidoSql::status, {{QStringLiteral(":id"), order}, {QStringLiteral(":idpizzaria"), id},
                                                    {QStringLiteral(":status"), 1}, {QStringLiteral(":visto"), 0}});
        },
        [self = QPointer<AutoApproval>(this), order, id, read](const SqlResult &result) {
            if (self)
                self->written(order, id, *read, result);
        });
}

void AutoApproval::written(int order, int id, const Read &read, const SqlResult &result)
{
    if (!result.ok() || result.rowsAffected != 1) {
        underWay.remove(order);
        keepUnprinted(order, false);
        if (!result.ok()) {
            qCWarning(lcConsole) << "Pedido" << order << "não foi aprovado automaticamente:" << result.error;
            forOperator.insert(order);
            emit changed();
        } else {
            qCDebug(lcConsole) << "Pedido" << order << "já não era novo: outro console ou o site o alterou";
        }
        return;
    }
    qCInfo(lcConsole) << "Pedido" << order << "aprovado automaticamente";
    if (!publisher)
        publisher = new StorePublisher(configure);   // let go at the end, once its messages are out
    publisher->publish(BrokerMessage::orderStatus(id, order, 1));
    emit changed();   // the list shows it new no longer
    print(order, ticketDasLinhas(order, read.cliente, read.linhas));
}

void AutoApproval::print(int order, const QString &html)
{
    auto *job = new PrintJob(html, connectionSettings.printerList, QStringLiteral("Pedido"), this);
    connect(job, &PrintJob::finished, this, [this, order](const QStringList &falhas) {
        const bool printed = falhas.isEmpty();
        underWay.remove(order);
        if (printed)
            qCInfo(lcConsole) << "Pedido" << order << "impresso automaticamente";
        else
            qCWarning(lcConsole).noquote() << "Pedido" << order << "aprovado automaticamente, mas não impresso:" << falhas.join(QStringLiteral("; "));
        keepUnprinted(order, !printed);
        emit handled(order, printed);
        if (!printed)
            emit changed();
    });
}
