-- Tables of the service's database that the console reads and writes.
-- The console never creates them: this schema serves the tests and the demo.
-- Column names are unique across the tables joined by the order queries
-- (descricao lives only in bandeirascartao, cpf only in usuarios).

SET NAMES utf8mb4;

DROP TABLE IF EXISTS pedido_detalhe, pedido, endereco, bandeirascartao, cardapio,
    precoitem, item_cardapio, menu, tamanho, tipocardapio, funcionamento, status,
    pizzaria, usuarios;

CREATE TABLE usuarios (
    id_user     INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    nome_user   VARCHAR(120) NOT NULL DEFAULT '',
    fone        VARCHAR(40) NULL,
    login       VARCHAR(120) NOT NULL,
    senha       CHAR(32) NOT NULL,
    nivel       INT NOT NULL DEFAULT 1,
    cpf         VARCHAR(20) NULL,
    KEY usuarios_login (login)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE pizzaria (
    id_pizzaria     INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    owner_pizzaria  INT NOT NULL,
    nome_pizzaria   VARCHAR(120) NOT NULL DEFAULT '',
    twitter         VARCHAR(200) NULL,
    KEY pizzaria_owner (owner_pizzaria)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE status (
    id_pizzaria INT NOT NULL PRIMARY KEY,
    status      INT NOT NULL DEFAULT 0,
    espera      INT NOT NULL DEFAULT 0,
    ts_open     BIGINT NOT NULL DEFAULT 0,
    ts_close    BIGINT NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Times of day are texts such as 18:00, as the service stores them.
CREATE TABLE funcionamento (
    id_funcionamento INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria      INT NOT NULL,
    dia_semana       INT NOT NULL,
    hora_inicio      VARCHAR(5) NOT NULL,
    hora_final       VARCHAR(5) NOT NULL,
    KEY funcionamento_dia (id_pizzaria, dia_semana)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE endereco (
    id_endereco    INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    nome_endereco  VARCHAR(120) NULL,
    rua            VARCHAR(200) NULL,
    numero         VARCHAR(20) NULL,
    apto_num       VARCHAR(20) NULL,
    bairro         VARCHAR(120) NULL,
    complemento    VARCHAR(200) NULL,
    cidade         VARCHAR(120) NULL,
    referencia     VARCHAR(200) NULL,
    fone           VARCHAR(40) NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE bandeirascartao (
    codigo     INT NOT NULL PRIMARY KEY,
    descricao  VARCHAR(80) NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- data: seconds since the Unix epoch; money in reais.
CREATE TABLE pedido (
    id_pedido     INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria   INT NOT NULL,
    id_user       INT NULL,
    id_endereco   INT NULL,
    codcartao     INT NULL,
    data          BIGINT NOT NULL,
    valor         DECIMAL(10,2) NULL,
    desconto      DECIMAL(10,2) NULL,
    taxa_entrega  DECIMAL(10,2) NULL,
    modo_pag      INT NOT NULL DEFAULT 1,
    cartao        VARCHAR(80) NULL,
    troco_txt     VARCHAR(80) NULL,
    status        INT NOT NULL DEFAULT 0,
    info_final    VARCHAR(500) NULL,
    KEY pedido_loja_data (id_pizzaria, data)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE menu (
    id_menu      INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria  INT NOT NULL,
    item_menu    VARCHAR(120) NOT NULL,
    KEY menu_loja (id_pizzaria)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE tamanho (
    id_tamanho   INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria  INT NOT NULL,
    nome         VARCHAR(80) NOT NULL,
    KEY tamanho_loja (id_pizzaria)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE tipocardapio (
    id_tipocardapio  INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria      INT NOT NULL,
    tipocardapio     VARCHAR(80) NOT NULL,
    KEY tipocardapio_loja (id_pizzaria)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE item_cardapio (
    id_itemcardapio  INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria      INT NOT NULL,
    nome_item        VARCHAR(160) NOT NULL,
    descricao_item   VARCHAR(500) NULL,
    id_tipocardapio  INT NOT NULL,
    caixa            INT NOT NULL DEFAULT 0,
    KEY item_loja (id_pizzaria)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- id: the item's code (SKU) typed by the operator.
CREATE TABLE precoitem (
    id_precoitem     INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_itemcardapio  INT NOT NULL,
    id_tamanho       INT NOT NULL,
    preco            DECIMAL(10,2) NOT NULL DEFAULT 0,
    desconto         DECIMAL(10,2) NOT NULL DEFAULT 0,
    id               VARCHAR(60) NULL,
    KEY precoitem_item (id_itemcardapio),
    KEY precoitem_sku (id)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE cardapio (
    id_cardapio    INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pizzaria    INT NOT NULL,
    id_menu        INT NOT NULL,
    id_precoitem   INT NOT NULL,
    id_tamanho     INT NOT NULL,
    ativo          INT NOT NULL DEFAULT 1,
    dia_semana     INT NOT NULL DEFAULT 127,
    info_cardapio  INT NOT NULL DEFAULT 0,
    mask_cardapio  INT NOT NULL DEFAULT 0,
    KEY cardapio_loja (id_pizzaria, ativo)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- Lines with the same time belong to one product.
CREATE TABLE pedido_detalhe (
    id_detalhe   INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
    id_pedido    INT NOT NULL,
    id_cardapio  INT NULL,
    qty          INT NOT NULL DEFAULT 1,
    max_item     INT NOT NULL DEFAULT 1,
    info         VARCHAR(500) NULL,
    tipo         INT NOT NULL DEFAULT 0,
    time         BIGINT NOT NULL DEFAULT 0,
    KEY detalhe_pedido (id_pedido, time)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
