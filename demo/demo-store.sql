-- A demo store for the console: its owner, menu, weekly schedule, status row
-- and a handful of orders of today and yesterday. Loaded after the schema.
SET NAMES utf8mb4;

-- Store owner: login pizzaria.demo, password demo123 (MD5 of its UTF-8 bytes).
INSERT INTO usuarios (id_user, nome_user, fone, login, senha, nivel, cpf) VALUES
  (1, 'Dono da Pizzaria Demo', '(11) 4000-1000', 'pizzaria.demo', MD5('demo123'), 2, NULL),
  (2, 'Ana Souza', '(11) 98888-1111', 'ana', MD5('ana'), 1, '123.456.789-00'),
  (3, 'Bruno Lima', '(11) 97777-2222', 'bruno', MD5('bruno'), 1, '987.654.321-00'),
  (4, 'Carla Dias', '(11) 96666-3333', 'carla', MD5('carla'), 1, NULL),
  (5, 'Dono de Outra Loja', NULL, 'outra.loja', MD5('outra'), 2, NULL);

INSERT INTO pizzaria (id_pizzaria, owner_pizzaria, nome_pizzaria, twitter) VALUES
  (7, 1, 'Pizzaria Demo', 'demo-token'),
  (8, 5, 'Outra Loja', NULL);

INSERT INTO status (id_pizzaria, status, espera, ts_open, ts_close) VALUES
  (7, 0, 40, 0, 0),
  (8, 1, 30, 0, 0);

-- Every day 11:00 to 15:00 and 18:00 to 02:00 (past midnight).
INSERT INTO funcionamento (id_pizzaria, dia_semana, hora_inicio, hora_final)
SELECT 7, d.dia, p.inicio, p.fim
FROM (SELECT 0 dia UNION SELECT 1 UNION SELECT 2 UNION SELECT 3 UNION SELECT 4 UNION SELECT 5 UNION SELECT 6) d
CROSS JOIN (SELECT '11:00' inicio, '15:00' fim UNION SELECT '18:00', '02:00') p;

INSERT INTO endereco (id_endereco, nome_endereco, rua, numero, apto_num, bairro, complemento, cidade, referencia, fone) VALUES
  (1, 'Casa', 'Rua das Flores', '120', '', 'Jardim Paulista', '', 'São Paulo', 'Portão azul', '(11) 3333-1111'),
  (2, 'Trabalho', 'Avenida Paulista', '1500', '12', 'Bela Vista', 'Bloco B', 'São Paulo', 'Em frente ao banco', '(11) 3333-2222'),
  (3, 'Apartamento', 'Rua Augusta', '900', '81', 'Consolação', 'Torre 2', 'São Paulo', '', NULL);

INSERT INTO bandeirascartao (codigo, descricao) VALUES
  (1, 'Visa'), (2, 'Mastercard'), (3, 'Elo');

INSERT INTO menu (id_menu, id_pizzaria, item_menu) VALUES
  (1, 7, 'Pizzas Salgadas'), (2, 7, 'Pizzas Doces'), (3, 7, 'Bebidas'), (4, 8, 'Pizzas');

INSERT INTO tamanho (id_tamanho, id_pizzaria, nome) VALUES
  (1, 7, 'Broto'), (2, 7, 'Grande'), (3, 7, 'Lata 350 ml'), (4, 7, 'Garrafa 2 l'), (5, 8, 'Grande');

INSERT INTO tipocardapio (id_tipocardapio, id_pizzaria, tipocardapio) VALUES
  (1, 7, 'Tradicional'), (2, 7, 'Especial'), (3, 7, 'Refrigerante'), (4, 8, 'Tradicional');

INSERT INTO item_cardapio (id_itemcardapio, id_pizzaria, nome_item, descricao_item, id_tipocardapio, caixa) VALUES
  (1, 7, 'Mussarela', 'Molho de tomate, mussarela e orégano', 1, 0),
  (2, 7, 'Calabresa', 'Calabresa fatiada, cebola e azeitonas', 1, 0),
  (3, 7, 'Portuguesa', 'Presunto, ovos, cebola, ervilha e mussarela', 2, 0),
  (4, 7, 'Quatro Queijos', 'Mussarela, provolone, parmesão e catupiry', 2, 0),
  (5, 7, 'Chocolate com Morango', 'Chocolate ao leite e morangos frescos', 2, 0),
  (6, 7, 'Guaraná', 'Refrigerante de guaraná', 3, 0),
  (7, 7, 'Cola', 'Refrigerante de cola', 3, 0),
  (8, 8, 'Marguerita', 'Mussarela, tomate e manjericão', 4, 0);

INSERT INTO precoitem (id_precoitem, id_itemcardapio, id_tamanho, preco, desconto, id) VALUES
  (1, 1, 1, 29.90, 0, 'MUS-B'), (2, 1, 2, 49.90, 0, 'MUS-G'),
  (3, 2, 1, 31.90, 0, 'CAL-B'), (4, 2, 2, 52.90, 0, 'CAL-G'),
  (5, 3, 2, 58.90, 0, 'POR-G'),
  (6, 4, 2, 62.90, 0, 'QQJ-G'),
  (7, 5, 1, 34.90, 0, 'CHM-B'), (8, 5, 2, 59.90, 0, 'CHM-G'),
  (9, 6, 3, 6.50, 0, 'GUA-L'), (10, 6, 4, 14.00, 0, 'GUA-2'),
  (11, 7, 3, 6.50, 0, 'COL-L'),
  (12, 8, 5, 55.00, 0, 'MAR-G');

INSERT INTO cardapio (id_cardapio, id_pizzaria, id_menu, id_precoitem, id_tamanho, ativo, dia_semana, info_cardapio, mask_cardapio) VALUES
  (1, 7, 1, 1, 1, 1, 127, 0, 0), (2, 7, 1, 2, 2, 1, 127, 0, 0),
  (3, 7, 1, 3, 1, 1, 127, 0, 0), (4, 7, 1, 4, 2, 1, 127, 0, 0),
  (5, 7, 1, 5, 2, 1, 127, 0, 0), (6, 7, 1, 6, 2, 0, 127, 0, 0),
  (7, 7, 2, 7, 1, 1, 127, 0, 0), (8, 7, 2, 8, 2, 1, 127, 0, 0),
  (9, 7, 3, 9, 3, 1, 127, 0, 0), (10, 7, 3, 10, 4, 1, 127, 0, 0),
  (11, 7, 3, 11, 3, 1, 127, 0, 0),
  (12, 8, 4, 12, 5, 1, 127, 0, 0);

-- Orders of today and yesterday in several states; one of another store.
INSERT INTO pedido (id_pedido, id_pizzaria, id_user, id_endereco, codcartao, data, valor, desconto, taxa_entrega, modo_pag, cartao, troco_txt, status, info_final) VALUES
  (1501, 7, 2, 1, NULL, UNIX_TIMESTAMP() - 26*3600, 56.40, 0, 6.50, 1, NULL, 'Troco para 100', 3, ''),
  (1502, 7, 3, 2, 2, UNIX_TIMESTAMP() - 25*3600, 121.80, 10.00, 8.00, 4, 'Mastercard', NULL, 3, 'Tocar o interfone'),
  (1503, 7, 4, 3, NULL, UNIX_TIMESTAMP() - 24*3600, 38.40, 0, 6.50, 1, NULL, 'Não precisa', 2, 'motivo:Endereço fora da área de entrega'),
  (1504, 7, 2, 1, 1, UNIX_TIMESTAMP() - 3*3600, 69.40, 5.00, 6.50, 4, 'Visa', NULL, 1, ''),
  (1505, 7, 3, 2, NULL, UNIX_TIMESTAMP() - 2*3600, 49.90, NULL, 0, 1, NULL, 'Troco para 50', 3, ''),
  (1506, 7, 4, 3, 3, UNIX_TIMESTAMP() - 40*60, 75.40, 0, 6.50, 4, 'Elo', NULL, 0, 'Sem cebola'),
  (1507, 8, 2, 1, NULL, UNIX_TIMESTAMP() - 30*60, 55.00, 0, 5.00, 1, NULL, '', 0, '');

INSERT INTO pedido_detalhe (id_pedido, id_cardapio, qty, max_item, info, tipo, time) VALUES
  (1501, 2, 1, 1, '', 0, 1), (1501, 9, 1, 1, '', 0, 2),
  (1502, 4, 1, 2, '', 0, 1), (1502, 5, 1, 2, 'Bem assada', 1, 1), (1502, 10, 1, 1, '', 0, 2),
  (1503, 1, 1, 1, '', 0, 1), (1503, 11, 1, 1, '', 0, 2),
  (1504, 8, 1, 1, '', 0, 1), (1504, 9, 1, 1, 'Gelada', 0, 2),
  (1505, 2, 1, 1, '', 0, 1),
  (1506, 3, 1, 1, '', 0, 1), (1506, 5, 1, 1, 'Sem cebola', 0, 2), (1506, 11, 1, 1, '', 0, 3),
  (1507, 12, 1, 1, '', 0, 1);
