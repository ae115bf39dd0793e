// Every form, filled with long but ordinary texts, as PNGs in <dir>: at the size it
// opens with and half as large again. Forms whose classes need the servers are set
// up from their Ui classes on plain windows. Usage: formshots [dir], ./formshots by default
#include "configuracao.h"
#include "editaritem.h"
#include "frase.h"
#include "keypad.h"
#include "ticket.h"
#include "ui_gerenciar.h"
#include "ui_mainwindow.h"
#include "ui_pedido.h"   // with ui_mainwindow.h, the widget headers used here

#include <QApplication>
#include <QDir>
#include <QStandardItemModel>
#include <QTextStream>

namespace {

template <class UiClass, class W = QDialog> W *fromUi()
{
    auto *w = new W;
    UiClass ui;   // only pointers into w, which owns the widgets
    ui.setupUi(w);
    return w;
}

void fill(QWidget *w, std::initializer_list<std::pair<const char *, QString>> texts)
{
    for (const auto &[name, text] : texts)
        w->findChild<QWidget *>(QLatin1String(name))->setProperty("text", text);
}

QStandardItemModel *rows(const QStringList &headers, const QList<QStringList> &cells, QObject *owner)
{
    auto *model = new QStandardItemModel(0, headers.size(), owner);
    model->setHorizontalHeaderLabels(headers);
    for (const QStringList &row : cells) {
        QList<QStandardItem *> items;
        for (const QString &cell : row)
            items << new QStandardItem(cell);
        model->appendRow(items);
    }
    return model;
}

void shoot(QWidget *w, const QString &dir, const QString &name)
{
    w->show();
    QApplication::processEvents();
    // A least size above the opening one means the form had to grow.
    const QSize least = w->minimumSizeHint();
    QTextStream(stdout) << name << ": " << w->width() << 'x' << w->height() << " (least " << least.width() << 'x'
                        << least.height() << ")\n";
    w->grab().save(dir + name + QStringLiteral(".png"));
    w->resize(w->size() * 3 / 2);
    QApplication::processEvents();
    w->grab().save(dir + name + QStringLiteral("-large.png"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString dir = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("formshots")).absolutePath()
                        + QLatin1Char('/');
    QDir().mkpath(dir);

    float preco = 45.9f;
    shoot(new Keypad(&preco), dir, QStringLiteral("keypad"));
    auto *motivo = new frase;
    fill(motivo, {{"lineEdit_frase", QStringLiteral("Cliente desistiu do pedido por demora na entrega")}});
    shoot(motivo, dir, QStringLiteral("frase"));
    shoot(new Configuracao, dir, QStringLiteral("configuracao"));

    auto *item = new EditarItem;
    fill(item, {{"label_menu", QStringLiteral("Pizzas Tradicionais")},
                {"lineEdit_nome", QStringLiteral("Pizza Calabresa Especial")}});
    shoot(item, dir, QStringLiteral("editaritem"));

    auto *itens = fromUi<Ui::Gerenciar>();
    const QStringList colunas = QStringLiteral("ID|Item|Descrição|Categoria|Tamanho|Preço\n(R$)|Máscara").split('|');
    QList<QStringList> linhas;   // the demo store's longest items
    for (const char *linha : {"QQJ-G|Quatro Queijos|Mussarela, provolone, parmesão e catupiry|Especial|Grande|62.90|0",
                              "CHM-B|Chocolate com Morango|Chocolate ao leite e morangos frescos|Especial|Broto|34.90|0",
                              "GUA-2|Guaraná|Refrigerante de guaraná|Refrigerante|Garrafa 2 l|14.00|0"})
        linhas << QString::fromUtf8(linha).split(QLatin1Char('|'));
    for (const char *name : {"tableView_ativos", "tableView_pausados"}) {
        auto *view = itens->findChild<QTableView *>(QLatin1String(name));
        view->setModel(rows(colunas, linhas, itens));
        view->resizeColumnsToContents();
    }
    shoot(itens, dir, QStringLiteral("gerenciar"));

    auto *janela = fromUi<Ui::MainWindow, QMainWindow>();
    // The longest of the texts the window gives these labels.
    fill(janela, {{"pushButton_status", QStringLiteral("Status: FECHADO")},
        {"label_conexao", QStringLiteral("Servidor não conectado!")},
        {"label_usuario", QStringLiteral("Usuário ou senha errados!")},
        {"label_recepcao", QStringLiteral("Falha no login para recepção de pedidos")},
        {"label_funcionamento", QStringLiteral("Automático (Abertura: 18:00 Fechamento: 23:30)")},
        {"label_relogio", QStringLiteral("23:59:59")}, {"label_alarme", QStringLiteral("Teste de Alarme ON")}});
    const QPixmap selo(QStringLiteral(TRV_IMAGES "selo_trovanta.png"));
    janela->findChild<QLabel *>(QStringLiteral("label_pic"))->setPixmap(selo);
    auto *pedidos = janela->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    pedidos->setModel(rows(QStringLiteral("Pedido|Data|Valor (R$)|Desconto (R$)|Status").split('|'),
                           {QStringLiteral("10234|24/12/2024 20:15:31|123.40|10.00|Aguardando aprovação").split('|')},
                           janela));
    pedidos->resizeColumnsToContents();
    shoot(janela, dir, QStringLiteral("mainwindow"));

    auto *pedido = fromUi<Ui::Pedido>();
    PedidoCliente c;
    c.nome = QStringLiteral("Maria Aparecida dos Santos Oliveira"), c.cidade = QStringLiteral("São Paulo");
    c.fone = QStringLiteral("(11) 98765-4321"), c.foneEndereco = QStringLiteral("(11) 3456-7890");
    c.rua = QStringLiteral("Avenida Brigadeiro Faria Lima"), c.numero = QStringLiteral("1234");
    c.aptoNum = 1, c.apto = QStringLiteral("152"), c.complemento = QStringLiteral("Bloco B");
    c.bairro = QStringLiteral("Jardim Paulistano"), c.referencia = QStringLiteral("Em frente à padaria");
    c.infoFinal = QStringLiteral("Tocar o interfone duas vezes"), c.cpf = QStringLiteral("123.456.789-09");
    c.valor = 123.4f, c.desconto = 10, c.taxaEntrega = 5, c.modoPag = 1, c.troco = QStringLiteral("R$150,00");
    PedidoLinha linha;
    linha.qty = QStringLiteral("2"), linha.menu = QStringLiteral("Pizzas Tradicionais");
    linha.tamanho = QStringLiteral("Grande"), linha.item = QStringLiteral("Calabresa");
    linha.info = QStringLiteral("sem cebola"), linha.maxItem = 2, linha.time = 1;
    // The texts the dialog itself gives these labels.
    fill(pedido, {
        {"label_numpedido", QStringLiteral("Pedido: 10234")}, {"label_nome", c.nome},
        {"label_fone", c.linhaFone()}, {"label_rua", c.linhaRua()}, {"label_bairro", c.bairro},
        {"label_cidade", c.cidade}, {"label_referencia", c.referencia},
        {"label_obsfinal", QStringLiteral("Obs. final:") + c.infoFinal},
        {"label_valor", QStringLiteral("Valor: R$%1").arg(textoDinheiro(c.valor))},
        {"label_desconto", QStringLiteral("Desconto: R$%1").arg(textoDinheiro(c.desconto))},
        {"label_entrega", QStringLiteral("Taxa de Entrega: R$%1").arg(textoDinheiro(c.taxaEntrega))},
        {"label_total", QStringLiteral("Total: R$%1").arg(textoDinheiro(c.total()))},
        {"label_pagamento", c.textoPagamento()}, {"label_cpf", QStringLiteral("CPF:") + c.cpf}});
    auto *tabela = pedido->findChild<QTableWidget *>();
    tabela->setRowCount(1), tabela->setColumnCount(5);
    tabela->setHorizontalHeaderLabels({QStringLiteral("Qtde"), QStringLiteral("Menu"), QStringLiteral("Tamanho"),
                                       QStringLiteral("Item"), QStringLiteral("Obs.")});
    int column = 0;
    for (const QString &text : {linha.qty, linha.menu, linha.textoTamanho(), linha.textoItem(), linha.info})
        tabela->setItem(0, column++, new QTableWidgetItem(text));
    tabela->resizeColumnsToContents();
    pedido->findChild<QTextEdit *>()->setText(compoeTicket(10234, 1735081200, c, {linha}));
    shoot(pedido, dir, QStringLiteral("pedido"));
    return 0;
}
