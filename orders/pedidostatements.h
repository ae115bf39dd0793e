#pragma once

#include <QString>

// The order dialog's statements, one text each for the dialog and for
// whatever measures them against another client.
namespace PedidoSql {

// :id the store, :id_pedido the order.
inline const QString cliente = QStringLiteral(
    "select nome_user, usuarios.fone, nome_endereco, rua, numero, apto_num, bairro, complemento, cidade, "
    "referencia, valor, taxa_entrega, modo_pag, cartao, troco_txt, pedido.status, pedido.info_final, "
    "descricao, cpf,endereco.fone, pedido.desconto from pedido left join usuarios on "
    "pedido.id_user=usuarios.id_user left join endereco on pedido.id_endereco=endereco.id_endereco left "
    "join bandeirascartao on pedido.codcartao=bandeirascartao.codigo where pedido.id_pizzaria=:id and "
    "pedido.id_pedido=:id_pedido");

inline const QString linhas = QStringLiteral(
    "select qty, item_menu, tamanho.nome, nome_item, max_item, info, pedido_detalhe.tipo, pedido.status, "
    "pedido_detalhe.time, pedido.data from pedido left join pedido_detalhe on "
    "pedido.id_pedido=pedido_detalhe.id_pedido left join cardapio on "
    "pedido_detalhe.id_cardapio=cardapio.id_cardapio left join menu on cardapio.id_menu=menu.id_menu left "
    "join precoitem on cardapio.id_precoitem=precoitem.id_precoitem left join item_cardapio on "
    "precoitem.id_itemcardapio=item_cardapio.id_itemcardapio left join tamanho on "
    "precoitem.id_tamanho=tamanho.id_tamanho where pedido.id_pizzaria=:id and pedido.id_pedido=:id_pedido "
    "order by time asc, id_detalhe asc");

// Written only over the status the dialog showed (:visto).
inline const QString status = QStringLiteral(
    "update pedido set status=:status where pedido.id_pedido=:id and pedido.id_pizzaria=:idpizzaria and "
    "pedido.status=:visto");

inline const QString cancela = QStringLiteral(
    "update pedido set status=:status, info_final=:motivo where pedido.id_pedido=:id and "
    "pedido.id_pizzaria=:idpizzaria and pedido.status=:visto");

} // namespace PedidoSql
