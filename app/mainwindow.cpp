#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "alarm.h"
#include "autoapproval.h"
#include "brokermessage.h"
#include "configfile.h"
#include "configuracao.h"
#include "consoleoptions.h"
#include "connection.h"
#include "connectionsettings.h"
#include "connectivity.h"
#include "databasewatch.h"
#include "statementrunner.h"
#include "gerenciar.h"
#include "internetprobe.h"
#include "keypad.h"
#include "operatorlogin.h"
#include "orderannouncements.h"
#include "orderreceiver.h"
#include "pedido.h"
#include "recentorders.h"
#include "resumodia.h"
#include "storeannouncer.h"
#include "storeclient.h"
#include "storestate.h"

#include "consolelog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , clock(&QDateTime::currentDateTime)
    , storeState(std::make_unique<StoreState>([this] { return clock(); }, this))
    , connectivity(new Connectivity(this))
    , databaseWatch(new DatabaseWatch(this))
    , loginReader(new StatementRunner(this))
    , orderStatements(new StatementRunner(this))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint);
    ui->label_release->setText(QStringLiteral("200715"));

    alarm = new Alarm(this);
    internetProbe = new InternetProbe(this);
    connect(internetProbe, &InternetProbe::finished, this, &MainWindow::finishTick);
    recentOrders = new RecentOrders(ui->tableView_pedidos, [this] { return clock(); }, this);
    autoApproval = new AutoApproval(orderStatements, [this](QAmqpClient *amqp) { configureClient(amqp); }, this);
    autoApproval->setEnabled(ConsoleOptions().autoApproval());
    connect(recentOrders, &RecentOrders::refreshed, this, &MainWindow::ordersListed);
    connect(autoApproval, &AutoApproval::changed, this, &MainWindow::operatorCalls);
    connect(autoApproval, &AutoApproval::handled, this, [this](int order, bool printed) {
        if (printed)
            alarm->notify(QStringLiteral("Aprovação automática"), QStringLiteral("Pedido %1 aprovado e impresso.").arg(order));
        else
            alarm->notify(QStringLiteral("Aprovação automática"), QStringLiteral("Pedido %1 aprovado, mas não impresso!").arg(order));
    });
    receiver = new OrderReceiver([this](QAmqpClient *amqp) { configureClient(amqp); }, this);
    connect(receiver, &OrderReceiver::missedMessages, recentOrders, &RecentOrders::markOutdated);
    announcer = new StoreAnnouncer([this](QAmqpClient *amqp) { configureClient(amqp); }, this);
    connect(announcer, &StoreAnnouncer::expired, this, &MainWindow::announcementExpired);

    // Sizing columns by every row of a busy two days costs most of a refresh;
    // the texts of a column are all about as wide, so a sample will do.
    ui->tableView_pedidos->horizontalHeader()->setResizeContentsPrecision(100);

    now = clock();
    const QString imagesDir = QStringLiteral("%1/images/").arg(QDir::currentPath());
    ui->label_pic->setPixmap(QPixmap(QStringLiteral("%1%2").arg(imagesDir, QStringLiteral("selo_trovanta.png"))));
    ui->label_conexao->setText(QStringLiteral("Servidor não conectado!"));

    connect(databaseWatch, &DatabaseWatch::answersChanged, connectivity, &Connectivity::setDatabase);
    connect(connectivity, &Connectivity::databaseChanged, this, [this](bool up) {
        storeState->setDatabaseUp(up);
        recentOrders->setDatabaseUp(up);
        // Back: whatever was announced meanwhile is read at the next tick.
        if (up)
            recentOrders->markOutdated();
        else
            serverText = QStringLiteral("Servidor não conectado!");
    });
    connect(recentOrders, &RecentOrders::refreshed, this, [this] { serverText = QStringLiteral("Servidor conectado!"); });
    connect(recentOrders, &RecentOrders::readFailed, this, [this] { serverText = QStringLiteral("Servidor não conectado!"); });

    // The window shows at once; the login and the store's rows fill it in.
    if (!LerConf()) {
        on_actionAbrir_CFG_triggered();
    } else {
        ui->pushButton_gerenciar->setEnabled(false);   // until a store is found
        login(true);
    }
    AtualizaTela();

    connect(&timer, &QTimer::timeout, this, &MainWindow::task);
    timer.start(1000);
    databaseWatch->start();
}

MainWindow::~MainWindow()
{
    timer.stop();
    // Leaving the console always records the store as closed, after whatever
    // the store's row was given before; a console that never learnt its store
    // closes none.
    if (closing != Closing::Answered && idPizzaria != 0 && !storeState->closeNow(idPizzaria))
        qCWarning(lcConsole) << "o fechamento da loja" << idPizzaria << "não foi gravado: ela pode continuar aberta para vendas online";
    delete ui;
}

void MainWindow::setClock(std::function<QDateTime()> newClock)
{
    clock = std::move(newClock);
    now = clock();
}

void MainWindow::configureClient(QAmqpClient *amqp) const
{
    configureStoreClient(amqp, {connectionSettings.host, config.virtualhost, config.portbroker, config.userbroker,
                                config.passbroker, connectionSettings.caFile});
}

// ---------------------------------------------------------------- configuration and login

bool MainWindow::LerConf()
{
    if (!readConfigFile(QString::fromLatin1(configFileName), &config))
        return false;
    useConfig(config);
    return true;
}

int MainWindow::LerTVUser()
{
    const int id = storeOfOwner(config.loginName, config.loginPassword);
    userText = id != 0 ? QStringLiteral("Usuário logado!") : QStringLiteral("Usuário ou senha errados!");
    return id;
}

void MainWindow::on_actionAbrir_CFG_triggered()
{
    {
        Configuracao dialog(nullptr);
        dialog.setModal(true);
        dialog.exec();
    }
    autoApproval->setEnabled(ConsoleOptions().autoApproval());
    login(false);
    AtualizaTela();
    // A sound file replaced while the console ran is picked up; a running alarm test ends.
    if (alarm->isTesting())
        on_pushButton_stop_clicked();
    alarm->renewPlayer();
}

// The owner's login, in the background. One whose statement failed is tried
// again until the database answers it: a console left as store 0 would ring
// no order of its store and, at its end, close none. At start a login that
// found no store says why in a box, without waiting for the operator.
void MainWindow::login(bool atStart)
{
    loginDue = false;
    loginRetry.start();
    loginReader->run(ownerStoreStatement, ownerStoreBindings(config.loginName, config.loginPassword),
                     [this, atStart](const SqlResult &rows) {
        const int id = storeOfRows(rows);
        if (closing != Closing::NotStarted)
            return;
        loginDue = !rows.ok();
        serverText = rows.ok() ? QStringLiteral("Servidor Conectado!") : QStringLiteral("Servidor não conectado!");
        userText = !rows.ok() ? QStringLiteral("---")
                 : rows.values.isEmpty() ? QStringLiteral("Usuário ou senha errados!") : QStringLiteral("Usuário logado!");
        if (atStart && id == 0)
            tell(QMessageBox::Information, QStringLiteral("Erro para conexão de DataBase"), tlsReason(rows.error));
        // A failure after the settings dialog keeps the store logged in before.
        if (rows.ok() || atStart)
            loggedIn(id);
        AtualizaTela();
    });
}

// Only while the database watch finds the server answering: a server refused
// over TLS is tried at the watch's pace alone.
void MainWindow::retryLogin()
{
    if (!loginDue || loginRetry.elapsed() < 5000 || closing != Closing::NotStarted || !connectivity->database()
        || loginReader->isBusy())
        return;
    login(false);
}

void MainWindow::loggedIn(int id)
{
    const bool newStore = id != idPizzaria || !storeStarted;
    idPizzaria = id;
    autoApproval->setStore(id);
    ui->pushButton_gerenciar->setEnabled(idPizzaria != 0);
    atualizarlista();
    if (!newStore || idPizzaria == 0)
        return;
    storeStarted = true;
    storeState->start(idPizzaria, now, [this] { AtualizaTela(); });
}

void MainWindow::on_actionSair_triggered()
{
    close();
}

// ---------------------------------------------------------------- recent orders and alarm

bool MainWindow::LerUltimosPedidos(int id, QSqlQueryModel *model)
{
    return recentOrders->LerUltimosPedidos(id, model);
}

void MainWindow::atualizarlista()
{
    recentOrders->setStore(idPizzaria);
    recentOrders->refresh();
}

// The alarm rings for the orders the automatic approval leaves to the operator.
void MainWindow::ordersListed()
{
    alarm->ordersRead(autoApproval->ordersListed(recentOrders->listedStore(), recentOrders->waitingOrders(), recentOrders->listed()));
    recentOrders->setUnprinted(autoApproval->unprinted());
}

void MainWindow::operatorCalls()
{
    recentOrders->markOutdated();
    alarm->ordersRead(autoApproval->callsOperator());
    recentOrders->setUnprinted(autoApproval->unprinted());
}

void MainWindow::on_pushButton_play_clicked()
{
    alarm->startTest();
    ui->label_alarme->setText(QStringLiteral("Teste de Alarme ON"));
}

void MainWindow::on_pushButton_stop_clicked()
{
    alarm->stopTest();
    ui->label_alarme->setText(QStringLiteral("Alarme"));
}

// ---------------------------------------------------------------- orders and menu

void MainWindow::on_pushButton_numpedido_clicked()
{
    if (!ui->lineEdit_numpedido->text().isEmpty()) {
        Pedido pedido(nullptr);
        pedido.setStatementRunner(orderStatements);
        pedido.CarregarPedido(ui->lineEdit_numpedido->text().toInt(), idPizzaria, alarm->answeredFlag());
        pedido.setConnectivity(connectivity);
        connect(&pedido, &Pedido::impresso, autoApproval, &AutoApproval::printedByHand);
        pedido.SetAmqp(connectionSettings.host, config.virtualhost, config.portbroker, config.userbroker, config.passbroker);
        pedido.setModal(true);
        pedido.exec();
        ui->lineEdit_numpedido->clear();
    }
    atualizarlista();
}

void MainWindow::on_tableView_pedidos_doubleClicked(QModelIndex index)
{
    if (!connectivity->internet()) {
        QMessageBox::critical(this, QStringLiteral("Internet"), QStringLiteral("Erro de Internet!!!"), QMessageBox::Ok);
        return;
    }
    ui->lineEdit_numpedido->setText(QString::number(recentOrders->orderAt(index.row())));
    on_pushButton_numpedido_clicked();
    ui->lineEdit_numpedido->setText(QString(QLatin1String("")));
}

void MainWindow::on_pushButton_gerenciar_clicked()
{
    qCDebug(lcConsole) << "teste";
    Gerenciar dialog(nullptr);
    dialog.Inicializa(idPizzaria);
    dialog.setModal(true);
    dialog.exec();
}

void MainWindow::on_actionResumo_dia_triggered()
{
    ResumoDia dialog(nullptr);
    dialog.Inicializa(idPizzaria);
    dialog.setModal(true);
    dialog.exec();
}

// ---------------------------------------------------------------- store state

bool MainWindow::LerDiario(int id, int dia, QSqlQueryModel *model)
{
    return storeState->LerDiario(id, dia, model);
}

bool MainWindow::LerStatus(int id, QSqlQueryModel *model)
{
    return storeState->LerStatus(id, model);
}

bool MainWindow::AtualizaStatus(int id, int status)
{
    return storeState->AtualizaStatus(id, status);
}

bool MainWindow::AtualizaEspera(int id, int tempo)
{
    return storeState->AtualizaEspera(id, tempo);
}

void MainWindow::VerificaPeriodoAbertura()
{
    // No store is written before the login found one.
    if (idPizzaria != 0)
        storeState->VerificaPeriodoAbertura(idPizzaria, now);
}

void MainWindow::AtualizaTela()
{
    ui->label_conexao->setText(serverText);
    ui->label_usuario->setText(userText);
    storeState->takeStatusRow();
    ui->lcdNumber->display(storeState->currentEspera());
    ui->pushButton_status->setText(storeState->currentStatus() != 0 ? QStringLiteral("Status: ABERTO")
                                                                     : QStringLiteral("Status: FECHADO"));
    // The day's periods, and so the automatic mode, can change at midnight.
    ui->radioButton_auto->setEnabled(storeState->hasPeriods());
    (storeState->currentMode() == 0 ? ui->radioButton_auto : ui->radioButton_manual)->setChecked(true);
    ui->label_relogio->setText(now.toString(QStringLiteral("hh:mm:ss")));
    ui->label_funcionamento->setText(storeState->currentModeText());
    ui->label_autoaprovacao->setVisible(autoApproval->isEnabled());
}

void MainWindow::on_radioButton_auto_clicked()
{
    storeState->setMode(0);
    ui->radioButton_auto->setChecked(true);
}

void MainWindow::on_radioButton_manual_clicked()
{
    storeState->setMode(1);
    ui->radioButton_manual->setChecked(true);
}

void MainWindow::on_pushButton_status_clicked()
{
    if (idPizzaria == 0)
        return;
    storeState->toggleStatus(idPizzaria, [this](StoreState::Toggle result) {
        switch (result) {
        case StoreState::Toggle::Written:
            enviarSite(storeState->currentStatus());
            AtualizaTela();
            break;
        case StoreState::Toggle::Refused:
            // Announcing a status the row does not hold would mislead every other console.
            tell(QMessageBox::Critical, QStringLiteral("Status"), QStringLiteral("O status da loja não foi gravado."));
            break;
        case StoreState::Toggle::Automatic:
            break;
        }
    });
}

void MainWindow::on_pushButton_espera_clicked()
{
    float typed = float(storeState->currentEspera());
    // Whatever the answer, the row is shown as it now is: it may have changed
    // meanwhile on the web side.
    const auto showRow = [this] { storeState->refreshRow(idPizzaria, [this] { AtualizaTela(); }); };
    // Closed without "Enter" writes nothing.
    if (!Keypad::askAmount(&typed) || idPizzaria == 0)
        return showRow();
    storeState->setEspera(idPizzaria, typed, [this, showRow](bool written) {
        if (!written)
            tell(QMessageBox::Critical, QStringLiteral("Espera"), QStringLiteral("O tempo de espera não foi gravado."));
        showRow();
    });
}

// Told without waiting: a box that blocked here would stop every tick behind it.
void MainWindow::tell(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    auto *box = new QMessageBox(icon, title, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::FecharPrograma()
{
    // Nothing more may run here, the schedule least of all: it could open the
    // store again while a dialog keeps the program alive.
    timer.stop();
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    closeStore();
}

// The closing goes behind every statement of the store's row given before it,
// and the window waits for its answer: a console must not end while a late
// "open" could still land after its "closed".
void MainWindow::closeStore()
{
    if (closing != Closing::NotStarted)
        return;
    timer.stop();
    if (idPizzaria == 0) {
        closing = Closing::Answered;
        return closeWhenNoDialog();
    }
    closing = Closing::Waiting;
    storeState->close(idPizzaria, [this](bool written) {
        closing = Closing::Answered;
        if (!written) {
            qCWarning(lcConsole) << "o fechamento da loja" << idPizzaria << "não foi gravado";
            QMessageBox::warning(this, QStringLiteral("Fechar"),
                                 QStringLiteral("O fechamento da loja não foi gravado no servidor: ela pode continuar "
                                                "aberta para vendas online."),
                                 QMessageBox::Ok);
        }
        closeWhenNoDialog();
    });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (closing == Closing::Answered)
        return QMainWindow::closeEvent(event);
    event->ignore();
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    closeStore();
}

// A dialog open at the closing is the operator's work in progress: the window
// closes, and so the program ends, once it is done.
void MainWindow::closeWhenNoDialog()
{
    if (QApplication::activeModalWidget())
        QTimer::singleShot(200, this, &MainWindow::closeWhenNoDialog);
    else
        close();
}

// ---------------------------------------------------------------- store announcements

void MainWindow::enviarFecharLoja()
{
    announcer->enviarFecharLoja(idPizzaria);
}

void MainWindow::on_pushButton_fechar_clicked()
{
    enviarFecharLoja();
}

void MainWindow::enviarSite(int statusSite)
{
    announcer->enviarSite(idPizzaria, statusSite);
}

// Nothing was closed: the consoles of the store, this one included, close the
// store only when the message reaches them.
void MainWindow::announcementExpired(int kind)
{
    if (kind != StoreAnnouncer::Close)
        return;
    tell(QMessageBox::Warning, QStringLiteral("Fechar"),
         QStringLiteral("O servidor de mensagens não respondeu em 60 segundos: a loja não foi fechada e continua "
                        "aberta para vendas online."));
}

// ---------------------------------------------------------------- the tick

void MainWindow::startReceiver()
{
    receiver->startReceiver();
}

// Starts the check; its answer finishes the tick. False while one is pending.
bool MainWindow::checkInternet()
{
    return internetProbe->start();
}

bool MainWindow::tickNow()
{
    if (internetProbe->isPending())
        return false;
    task();
    return true;
}

// The first half of the tick: the rest runs in finishTick once the Internet
// check answers, so no tick ever waits inside an event loop.
void MainWindow::task()
{
    // A check still pending holds the next tick back: ticks never overlap.
    if (internetProbe->isPending())
        return;
    now = clock();
    timer.start(1000);
    checkInternet();
}

void MainWindow::finishTick(bool internetAnswered)
{
    retryLogin();
    internetStep(internetAnswered);
    receiverStep();
    recentOrders->pollNewestOrder(receiver->isConsuming());
    VerificaPeriodoAbertura();
    MessageInbox &inbox = receiver->messages();
    while (!inbox.isEmpty()) {
        if (!dispatch(inbox.takeFirst()))
            return;
    }
    // Before the alarm looks.
    recentOrders->refreshIfDue();
    alarm->step(now);
    AtualizaTela();
}

void MainWindow::internetStep(bool answered)
{
    connectivity->setInternet(answered);
    if (!answered) {
        internetLost = true;
        alarm->notify(QStringLiteral("Internet"), QStringLiteral("Erro de Internet"));
        ui->label_conexaoIinternet->setText(QStringLiteral("Internet NOK"));
        return;
    }
    ui->label_conexaoIinternet->setText(QStringLiteral("Internet OK"));
    if (internetLost) {
        recentOrders->markOutdated();
        internetLost = false;
    }
}

void MainWindow::receiverStep()
{
    if (receiver->step()) {
        ui->label_recepcao->setText(QStringLiteral("Login para recepção de pedidos: [ok]"));
        return;
    }
    ui->label_recepcao->setText(QStringLiteral("Falha no login para recepção de pedidos"));
    alarm->notify(QStringLiteral("Mensagem"), QStringLiteral("Erro no Broker para recepção de pedidos"));
}

bool MainWindow::dispatch(const QString &text)
{
    qCDebug(lcConsole) << text;
    const BrokerMessage message(text);
    bool closing = false;
    switch (message.isForStore(idPizzaria) ? message.type() : BrokerMessage::Unknown) {
    case BrokerMessage::StoreStatus:
        ui->radioButton_manual->setChecked(true);
        // Field 2: the status that was set.
        storeState->statusSetByHand(idPizzaria, message.fieldCount() > 2 ? message.order() : -1);
        break;
    case BrokerMessage::StoreClosing:
        FecharPrograma();
        closing = true;
        break;
    case BrokerMessage::Approved:
    case BrokerMessage::Cancelled:
        alarm->orderAnswered();
        recentOrders->markOutdated();
        break;
    case BrokerMessage::NewOrder:
        qCDebug(lcConsole) << "atualizarlista ";
        recentOrders->markOutdated();
        break;
    default:
        break;
    }
    if (message.carriesOrder())
        lastAnnounced = message.order();
    if (message.changesOrder())
        emit OrderAnnouncements::instance()->orderChanged(message.store(), message.order());
    qCDebug(lcConsole) << lastAnnounced;
    return !closing;
}
