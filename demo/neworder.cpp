#include "neworder.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
bool run(QSqlQuery &query, QString *error)
{
    if (query.exec())
        return true;
    *error = query.lastError().text();
    return false;
}
}

int insertNewOrder(const QSqlDatabase &db, int store, QString *error)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();

    // Any customer and address of the database: the demo has a few.
    QSqlQuery customer(db);
    customer.prepare(QStringLiteral("select id_user from usuarios where nivel <> 2 order by rand() limit 1"));
    QVariant user;
    if (run(customer, error) && customer.next())
        user = customer.value(0);
    QSqlQuery address(db);
    address.prepare(QStringLiteral("select id_endereco from endereco order by rand() limit 1"));
    QVariant endereco;
    if (run(address, error) && address.next())
        endereco = address.value(0);

    QSqlQuery menu(db);
    menu.prepare(QStringLiteral("select cardapio.id_cardapio, precoitem.preco from cardapio inner join precoitem on "
                                "cardapio.id_precoitem=precoitem.id_precoitem where cardapio.id_pizzaria=:id and "
                                "cardapio.ativo=1 order by rand() limit 2"));
    menu.bindValue(QStringLiteral(":id"), store);
    QList<QPair<int, double>> lines;
    if (run(menu, error))
        while (menu.next())
            lines.append({menu.value(0).toInt(), menu.value(1).toDouble()});

    double total = 0;
    for (const auto &line : lines)
        total += line.second;
    if (lines.isEmpty())
        total = 45.0;

    QSqlQuery order(db);
    order.prepare(QStringLiteral("insert into pedido (id_pizzaria, id_user, id_endereco, data, valor, desconto, "
                                 "taxa_entrega, modo_pag, troco_txt, status, info_final) values (:id, :user, "
                                 ":endereco, :data, :valor, 0, 5, 1, :troco, 0, :info)"));
    order.bindValue(QStringLiteral(":id"), store);
    order.bindValue(QStringLiteral(":user"), user);
    order.bindValue(QStringLiteral(":endereco"), endereco);
    order.bindValue(QStringLiteral(":data"), now);
    order.bindValue(QStringLiteral(":valor"), total + 5);
    order.bindValue(QStringLiteral(":troco"), QStringLiteral("Troco para 100"));
    order.bindValue(QStringLiteral(":info"), QStringLiteral("Sem cebola, por favor"));
    if (!run(order, error))
        return 0;
    const int id = order.lastInsertId().toInt();

    qint64 time = now;
    for (const auto &line : lines) {
        QSqlQuery detail(db);
        detail.prepare(QStringLiteral("insert into pedido_detalhe (id_pedido, id_cardapio, qty, max_item, info, tipo, "
                                      "time) values (:pedido, :cardapio, 1, 1, '', 0, :time)"));
        detail.bindValue(QStringLiteral(":pedido"), id);
        detail.bindValue(QStringLiteral(":cardapio"), line.first);
        detail.bindValue(QStringLiteral(":time"), time++);
        if (!run(detail, error))
            return 0;
    }
    return id;
}
