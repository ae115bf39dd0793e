// Every form, filled with long but ordinary texts, as PNGs in <dir>: at the size it
// opens with and half as large again. Forms whose classes need the servers are set
// up from their Ui classes on plain windows. Usage: formshots [dir], ./formshots by default.
// formshots --manual <dir>: the pictures of the operator's manual instead, at the
// opening size only, the main window as on a quiet evening, and the boxes the manual explains.
#include "configuracao.h"
#include "confirmar.h"
#include "daysummary.h"
#include "editaritem.h"
#include "frase.h"
#include "keypad.h"
#include "orderdelegates.h"
#include "resumodia.h"
#include "ticket.h"
#include "ui_gerenciar.h"
#include "ui_mainwindow.h"
#include "ui_pedido.h"   // with ui_mainwindow.h, the widget headers used here

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTextStream>
#include <QTimer>

#include <functional>

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

bool forManual = false;

void shoot(QWidget *w, const QString &dir, const QString &name)
{
    w->show();
    QApplication::processEvents();
    if (forManual) {
        w->grab().save(dir + name + QStringLiteral(".png"));
        return;
    }
    // A least size above the opening one means the form had to grow.
    const QSize least = w->minimumSizeHint();
    QTextStream(stdout) << name << ": " << w->width() << 'x' << w->height() << " (least " << least.width() << 'x'
                        << least.height() << ")\n";
    w->grab().save(dir + name + QStringLiteral(".png"));
    w->resize(w->size() * 3 / 2);
    QApplication::processEvents();
    w->grab().save(dir + name + QStringLiteral("-large.png"));
}

// The box that opens, as the operator meets it, saved and then answered.
void shootBox(const QString &dir, const QString &name, const std::function<void()> &opens)
{
    QTimer::singleShot(0, [dir, name] {
        QWidget *box = QApplication::activeModalWidget();
        box->grab().save(dir + name + QStringLiteral(".png"));
        box->close();
    });
    opens();
}

void shootBox(const QString &dir, const QString &name, QMessageBox::Icon icon, const QString &text)
{
    shootBox(dir, name, [icon, text] { QMessageBox(icon, QString(), text, QMessageBox::Ok).exec(); });
}

// Boxes that need the servers to open are shown with the texts the console gives them.
void shootBoxes(const QString &dir)
{
    shootBox(dir, QStringLiteral("caixa-aprovar"),
             [] { Confirmar(QStringLiteral("Aprovar Pedido"), QStringLiteral("Confirma aprovar pedido 10236")); });
    auto *motivo = new frase;
    motivo->show();
    shootBox(dir, QStringLiteral("caixa-motivo"),
             [motivo] { motivo->findChild<QPushButton *>(QStringLiteral("pushButton"))->click(); });
    const std::pair<const char *, const char *> avisos[] = {
        {"caixa-internet", "Erro de Internet!!!"},
        {"caixa-alterado", "O pedido foi alterado enquanto esta janela estava aberta."},
        {"caixa-impressora", "A impressora \"Cozinha\" não está instalada."},
        {"caixa-fechar", "O servidor de mensagens não respondeu em 60 segundos: a loja não foi fechada e continua "
                         "aberta para vendas online."},
        {"caixa-negativo", "Valor negativo não é aceito. Nada foi gravado."},
    };
    for (const auto &[name, text] : avisos)
        shootBox(dir, QLatin1String(name), QMessageBox::Warning, QString::fromUtf8(text));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    forManual = argc > 2 && qstrcmp(argv[1], "--manual") == 0;
    const char *dirArgument = argv[forManual ? 2 : 1];
    const QString dir = QDir(argc > 1 ? QString::fromLocal8Bit(dirArgument) : QStringLiteral("formshots")).absolutePath()
                        + QLatin1Char('/');
    QDir().mkpath(dir);
    if (forManual)
        shootBoxes(dir);

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
    // The first choice of each filter, as the dialog fills them.
    for (const auto &[name, text] : {std::pair<const char *, const char *>{"comboBox_menu", "Escolha Menu..."},
                                     {"comboBox_tipo", "Escolha Tipo..."}, {"comboBox_tamanho", "Escolha Tamanho..."}})
        itens->findChild<QComboBox *>(QLatin1String(name))->addItem(QLatin1String(text));
    shoot(itens, dir, QStringLiteral("gerenciar"));

    auto *janela = fromUi<Ui::MainWindow, QMainWindow>();
    const QPixmap selo(QStringLiteral(TRV_IMAGES "selo_trovanta.png"));
    janela->findChild<QLabel *>(QStringLiteral("label_pic"))->setPixmap(selo);
    auto *pedidos = janela->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    if (forManual) {
        // The texts the window shows while everything answers.
        fill(janela, {{"pushButton_status", QStringLiteral("Status: ABERTO")},
            {"label_conexao", QStringLiteral("Servidor conectado!")}, {"label_usuario", QStringLiteral("Usuário logado!")},
            {"label_recepcao", QStringLiteral("Login para recepção de pedidos: [ok]")},
            {"label_conexaoIinternet", QStringLiteral("Internet OK")}, {"label_release", QStringLiteral("200715")},
            {"label_funcionamento", QStringLiteral("Automático (Abertura: 18:00 Fechamento: 23:30)")},
            {"label_relogio", QStringLiteral("19:42:07")}});
        janela->findChild<QRadioButton *>(QStringLiteral("radioButton_auto"))->setChecked(true);
        janela->findChild<QLCDNumber *>()->display(40);
        // Raw values, as the list reads them, drawn by the list's own delegates.
        const QDateTime noite(QDate(2026, 12, 4), QTime(19, 40));
        auto *lista = rows(QStringLiteral("Pedido|Data|Valor (R$)|Desconto (R$)|Status").split('|'), {}, janela);
        const std::tuple<int, qint64, double, double, int> linhasLista[] = {
            {10236, 1, 87.5, 0, 0}, {10235, 12, 62.9, 5, 1}, {10234, 31, 123.4, 10, 3}, {10233, 44, 45.9, 0, 2}};
        for (const auto &[numero, minutos, valor, desconto, status] : linhasLista) {
            QList<QStandardItem *> celulas;
            for (const QVariant &celula : {QVariant(numero), QVariant(noite.addSecs(-60 * minutos).toSecsSinceEpoch()),
                                           QVariant(valor), QVariant(desconto), QVariant(status)}) {
                celulas << new QStandardItem;
                celulas.last()->setData(celula, Qt::DisplayRole);
            }
            lista->appendRow(celulas);
        }
        pedidos->setModel(lista);
        pedidos->setItemDelegateForColumn(1, new DateFormatDelegate(janela));
        pedidos->setItemDelegateForColumn(2, new NumberFormatDelegate(janela));
        pedidos->setItemDelegateForColumn(3, new NumberFormatDelegate(janela));
        pedidos->setItemDelegateForColumn(4, new StatusDelegate(janela));
    } else {
        // The longest of the texts the window gives these labels.
        fill(janela, {{"pushButton_status", QStringLiteral("Status: FECHADO")},
            {"label_conexao", QStringLiteral("Servidor não conectado!")},
            {"label_usuario", QStringLiteral("Usuário ou senha errados!")},
            {"label_recepcao", QStringLiteral("Falha no login para recepção de pedidos")},
            {"label_funcionamento", QStringLiteral("Automático (Abertura: 18:00 Fechamento: 23:30)")},
            {"label_relogio", QStringLiteral("23:59:59")}, {"label_alarme", QStringLiteral("Teste de Alarme ON")}});
        pedidos->setModel(rows(QStringLiteral("Pedido|Data|Valor (R$)|Desconto (R$)|Status").split('|'),
                               {QStringLiteral("10234|24/12/2024 20:15:31|123.40|10.00|Aguardando aprovação").split('|')},
                               janela));
    }
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

    // Built without a server: the day's rows as its statement gives them.
    TotaisDoDia dia;
    dia.dia = QDate(2026, 12, 4);
    QString erro;
    dia.lerLinhas({{10233, 2, "45.90", "0.00", "5.00", 1, "", "motivo:Endereço fora da área de entrega"},
                   {10234, 3, "123.40", "10.00", "5.00", 1, "Troco para R$150,00", ""},
                   {10235, 1, "62.90", "5.00", "8.00", 4, QVariant(), ""},
                   {10236, 0, "87.50", "0.00", "6.50", 1, "Troco para 100", ""}}, &erro);
    auto *resumo = new ResumoDia;
    resumo->findChild<QDateEdit *>()->setDate(dia.dia);
    resumo->findChild<QPlainTextEdit *>()->setPlainText(dia.texto());
    resumo->findChild<QPushButton *>(QStringLiteral("pushButton_imprimir"))->setEnabled(true);
    shoot(resumo, dir, QStringLiteral("resumodia"));
    return 0;
}
