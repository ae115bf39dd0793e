#include "orderrows.h"

#include "dbfixture.h"

#include <QDateTime>

int insertFullOrder(DbFixture &db, int store, int status, int lines)
{
    db.exec("insert into usuarios (nome_user, fone, login, senha, nivel, cpf) values ('Ana', '1111', 'ana', '', 1, '')");
    db.exec("insert into endereco (rua, numero, apto_num, bairro, complemento, cidade, referencia, fone) values "
            "('Rua A', '10', '0', 'Centro', '', 'Natal', 'Praça', '2222')");
    db.exec("replace into bandeirascartao (codigo, descricao) values (1, 'Visa')");
    db.exec("insert into pedido (id_pizzaria, id_user, id_endereco, codcartao, data, valor, desconto, taxa_entrega, "
            "modo_pag, troco_txt, status, info_final) values (:s, (select max(id_user) from usuarios), "
            "(select max(id_endereco) from endereco), 1, :data, 30, 2, 5, 1, '', :st, 'sem troco')",
            {{":s", store}, {":st", status}, {":data", QDateTime::currentSecsSinceEpoch()}});
    const int order = db.scalar("select max(id_pedido) from pedido").toInt();
    db.exec("insert into menu (id_pizzaria, item_menu) values (:s, 'Pizzas')", {{":s", store}});
    db.exec("insert into tamanho (id_pizzaria, nome) values (:s, 'Grande')", {{":s", store}});
    for (int i = 0; i < lines; ++i) {
        const bool drink = i % 3 == 2;
        db.exec("insert into item_cardapio (id_pizzaria, nome_item, id_tipocardapio) values (:s, :n, 1)",
                {{":s", store}, {":n", drink ? "Coca" : i % 3 ? "Mussarela" : "Calabresa"}});
        db.exec("insert into precoitem (id_itemcardapio, id_tamanho) select last_insert_id(), max(id_tamanho) from tamanho");
        db.exec("insert into cardapio (id_pizzaria, id_menu, id_precoitem, id_tamanho) select :s, (select max(id_menu) "
                "from menu), last_insert_id(), max(id_tamanho) from tamanho", {{":s", store}});
        db.exec("insert into pedido_detalhe (id_pedido, id_cardapio, qty, max_item, info, tipo, time) values (:p, "
                "last_insert_id(), :q, 2, :i, :t, :time)",
                {{":p", order}, {":q", drink ? 2 : 1}, {":i", drink ? "gelada" : ""}, {":t", drink ? 1 : 0},
                 {":time", 100 * (i / 3 + 1) + (drink ? 50 : 0)}});
    }
    return order;
}
