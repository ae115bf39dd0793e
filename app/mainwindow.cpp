#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "brokermessage.h"
#include "configfile.h"
#include "configuracao.h"
#include "connection.h"
#include "connectionsettings.h"
#include "databasewatch.h"
#include "gerenciar.h"
#include "internetprobe.h"
#include "keypad.h"
#include "operatorlogin.h"
#include "orderannouncements.h"
#include "orderdelegates.h"
#include "ordertexts.h"
#include "pedido.h"
#include "sqlsnapshotmodel.h"
#include "storeannouncer.h"
#include "storestate.h"
#include "traynotifier.h"

#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QHeaderView>
#include <QMediaPlayer>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSystemTrayIcon>
#include <QTime>
#include <QUrl>

namespace {

const QString exchangeName = QStringLiteral("logs");

// A receiver that has not finished its handshake by then is given up and rebuilt.
constexpr qint64 receiverConnectLimitMs = 10000;

// While no queue consumes, the database is asked this often for a newer order;
// after a statement waited out its limit, the tick's own statements wait as long.
constexpr qint64 newestOrderPollMs = 15000;

// A failure that took this long was a wait, not a refusal.
constexpr qint64 slowDatabaseMs = 1000;

// Every client of the console: automatic reconnection on, port text read as decimal.
void configureAmqp(QAmqpClient *amqp, const QString &host, const QString &virtualHost, const QString &port,
                   const QString &user, const QString &password)
{
    amqp->setHost(host);
    amqp->setVirtualHost(virtualHost);
    amqp->setPort(quint16(port.toInt()));
    amqp->setAutoReconnect(true, 0);
    amqp->setUsername(user);
    amqp->setPassword(password);
}

QUrl alarmSound()
{
    return QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("sound/fone.mp3")));
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , clock(&QDateTime::currentDateTime)
    , storeState(std::make_unique<StoreState>([this] { return clock(); }))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint);
    ui->label_release->setText(QStringLiteral("200715"));

    player = new QMediaPlayer(this);
    player->setMedia(alarmSound());

    trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral("images/tv_pq.png")), this);
    trayIcon->setVisible(true);
    notifier = new TrayNotifier(trayIcon, this);
    internetProbe = new InternetProbe(this);
    connect(internetProbe, &InternetProbe::finished, this, &MainWindow::finishTick);
    databaseWatch = new DatabaseWatch(this);
    connect(databaseWatch, &DatabaseWatch::answersChanged, this, [this](bool answers) {
        // Back: whatever was announced meanwhile is read at the next tick.
        if (answers)
            listOutdated = true;
        else
            connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
    });

    // Kept for the window's whole life; it holds the last rows read.
    ordersModel = new SqlSnapshotModel;
    announcer = new StoreAnnouncer([this](QAmqpClient *amqp) { configureClient(amqp); }, this, this);
    connect(announcer, &StoreAnnouncer::expired, this, &MainWindow::announcementExpired);

    // Sizing columns by every row of a busy two days costs most of a refresh;
    // the texts of a column are all about as wide, so a sample will do.
    ui->tableView_pedidos->horizontalHeader()->setResizeContentsPrecision(100);

    now = clock();
    imagesDir = QStringLiteral("%1/images/").arg(QDir::currentPath());
    ui->label_pic->setPixmap(QPixmap(QStringLiteral("%1%2").arg(imagesDir, QStringLiteral("selo_trovanta.png"))));
    ui->label_conexao->setText(QStringLiteral("Servidor não conectado!"));

    if (!LerConf()) {
        on_actionAbrir_CFG_triggered();
    } else {
        idPizzaria = LerTVUser();
        if (idPizzaria == 0) {
            ui->pushButton_gerenciar->setEnabled(false);
            QMessageBox::information(this, QStringLiteral("Erro para conexão de DataBase"),
                                     connectionSettings.defaultDb.lastError().text(), QMessageBox::Ok);
        } else {
            ui->pushButton_gerenciar->setEnabled(true);
        }
    }

    atualizarlista();
    storeState->start(idPizzaria, now);
    AtualizaTela();

    connect(&timer, &QTimer::timeout, this, &MainWindow::task);
    timer.start(1000);
    databaseWatch->start();

    client = new QAmqpClient(nullptr);
}

MainWindow::~MainWindow()
{
    // Leaving the console always records the store as closed.
    AtualizaStatus(idPizzaria, 0);
    timer.stop();
    for (QAmqpClient *owned : {client, amqpClient}) {
        if (owned) {
            owned->disconnect(this);
            delete owned;
        }
    }
    delete ordersModel;
    delete ui;
}

void MainWindow::setClock(std::function<QDateTime()> newClock)
{
    clock = std::move(newClock);
    now = clock();
}

// ---------------------------------------------------------------- configuration and login

bool MainWindow::LerConf()
{
    ConfigValues values;
    if (!readConfigFile(QString::fromLatin1(configFileName), &values))
        return false;
    loginName = values.loginName;
    loginPassword = values.loginPassword;
    connectionSettings.host = values.host;
    connectionSettings.dbName = values.dbName;
    connectionSettings.dbPort = values.dbPort;
    connectionSettings.dbUser = values.dbUser;
    connectionSettings.dbPassword = values.dbPassword;
    userbroker = values.userbroker;
    passbroker = values.passbroker;
    virtualhost = values.virtualhost;
    portbroker = values.portbroker;
    printerLine = values.printerLine;
    if (!printerLine.isEmpty())
        connectionSettings.printerList = splitPrinterLine(printerLine);
    return true;
}

int MainWindow::LerTVUser()
{
    ConectaBanco();
    QSqlQuery query(QSqlDatabase{});
    const QString digest = passwordDigest(loginPassword);
    connectionSettings.userStatusText = QStringLiteral("Usuário ou senha errados!");
    query.prepare(QStringLiteral("select pizzaria.id_pizzaria from usuarios inner join pizzaria on "
                                 "usuarios.id_user=pizzaria.owner_pizzaria where login=:login and "
                                 "senha=:senha and nivel=2 "));
    query.bindValue(QStringLiteral(":login"), loginName);
    query.bindValue(QStringLiteral(":senha"), digest);
    const bool executed = query.exec();
    qDebug() << query.lastError().text() << query.size();
    if (executed && query.size() > 0 && query.next()) {
        connectionSettings.userStatusText = QStringLiteral("Usuário logado!");
        const int id = query.value(0).toInt();
        qDebug() << " achou" << id;
        return id;
    }
    qDebug() << " ferrou" << query.lastError().text();
    return 0;
}

void MainWindow::on_actionAbrir_CFG_triggered()
{
    {
        Configuracao dialog(nullptr);
        dialog.setModal(true);
        dialog.exec();
    }
    if (ConectaBanco()) {
        idPizzaria = LerTVUser();
        ui->pushButton_gerenciar->setEnabled(idPizzaria != 0);
    }
    AtualizaTela();
    newPlayer();
}

// A fresh player picks up a sound file replaced while the console ran. The
// old one stops with its sound, so a running alarm test ends with it.
void MainWindow::newPlayer()
{
    if (alarmTest)
        on_pushButton_stop_clicked();
    QMediaPlayer *previous = player;
    player = new QMediaPlayer(this);
    player->setMedia(alarmSound());
    if (previous) {
        previous->stop();
        previous->deleteLater();
    }
}

void MainWindow::on_actionSair_triggered()
{
    close();
}

// ---------------------------------------------------------------- recent orders

bool MainWindow::LerUltimosPedidos(int id, QSqlQueryModel *model)
{
    ConectaBanco();
    QSqlQuery query(QSqlDatabase{});
    qDebug() << "LerUltimosPedidos" << QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    const qint64 cutoff = recentOrdersCutoff(clock());
    query.prepare(QStringLiteral("select id_pedido, data, valor, desconto, status from pedido where "
                                 "id_pizzaria=:id and data > :data order by id_pedido desc"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":data"), cutoff);
    if (query.exec()) {
        model->setQuery(query);
        return true;
    }
    qDebug() << "LerUltimosPedidos" << query.lastError().text() << cutoff;
    return false;
}

void MainWindow::atualizarlista()
{
    refreshList();
}

// A failed refresh stays due: every tick tries again until one succeeds, so an
// order announced while the database was away rings once it is back.
bool MainWindow::refreshList()
{
    QElapsedTimer took;
    took.start();
    if (!LerUltimosPedidos(idPizzaria, ordersModel)) {
        connectionSettings.serverStatusText = QStringLiteral("Servidor não conectado!");
        listOutdated = true;
        noteDatabaseFailure(took.elapsed());
        return false;
    }
    slowDatabaseFailure.invalidate();
    listOutdated = false;
    newestOrderSeen = qMax(newestOrderSeen, ordersModel->data(ordersModel->index(0, 0)).toInt());
    connectionSettings.serverStatusText = QStringLiteral("Servidor conectado!");

    const QStringList headers{QStringLiteral("Pedido"), QStringLiteral("Data"), QStringLiteral("Valor (R$)"),
                              QStringLiteral("Desconto (R$)"), QStringLiteral("Status")};
    for (int column = 0; column < headers.size(); ++column)
        ordersModel->setHeaderData(column, Qt::Horizontal, headers.at(column));

    ui->tableView_pedidos->setModel(ordersModel);
    installDelegates();
    ui->tableView_pedidos->resizeColumnsToContents();

    noNewOrder = true;
    for (int row = 0; row < ordersModel->rowCount(); ++row) {
        if (ordersModel->data(ordersModel->index(row, 4)).toInt() == 0) {
            noNewOrder = false;
            player->play();
            break;
        }
    }
    return true;
}

// A server that refuses at once is asked again at the next tick; one that
// let a statement wait out its limit (a line that drops packets) is left
// alone for a while, since each try holds the window that long.
void MainWindow::noteDatabaseFailure(qint64 tookMs)
{
    if (tookMs >= slowDatabaseMs)
        slowDatabaseFailure.start();
}

bool MainWindow::databaseWorthTrying() const
{
    return databaseWatch->answers()
        && (!slowDatabaseFailure.isValid() || slowDatabaseFailure.elapsed() >= newestOrderPollMs);
}

// The store's newest order number, or -1 when it cannot be read.
int MainWindow::newestOrderNumber()
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
void MainWindow::pollNewestOrder()
{
    if (receiverConsuming) {
        newestOrderPoll.invalidate();
        return;
    }
    if ((newestOrderPoll.isValid() && newestOrderPoll.elapsed() < newestOrderPollMs) || !databaseWorthTrying())
        return;
    newestOrderPoll.start();
    const int newest = newestOrderNumber();
    if (newest > newestOrderSeen) {
        newestOrderSeen = newest;
        listOutdated = true;
    }
}

// The delegates are made once and set again on every refresh.
void MainWindow::installDelegates()
{
    if (!dateDelegate) {
        dateDelegate = new DateFormatDelegate(this);
        valorDelegate = new NumberFormatDelegate(this);
        descontoDelegate = new NumberFormatDelegate(this);
        statusDelegate = new StatusDelegate(this);
    }
    QTableView *view = ui->tableView_pedidos;
    view->setItemDelegateForColumn(1, dateDelegate);
    view->setItemDelegateForColumn(2, valorDelegate);
    view->setItemDelegateForColumn(3, descontoDelegate);
    view->setItemDelegateForColumn(4, statusDelegate);
}

// ---------------------------------------------------------------- orders

void MainWindow::on_pushButton_numpedido_clicked()
{
    if (!ui->lineEdit_numpedido->text().isEmpty()) {
        Pedido pedido(nullptr);
        pedido.CarregarPedido(ui->lineEdit_numpedido->text().toInt(), idPizzaria, &noNewOrder);
        pedido.SetAmqp(connectionSettings.host, virtualhost, portbroker, userbroker, passbroker);
        pedido.setModal(true);
        pedido.exec();
        ui->lineEdit_numpedido->clear();
    }
    atualizarlista();
}

void MainWindow::on_tableView_pedidos_doubleClicked(QModelIndex index)
{
    if (!connectionSettings.internetOk) {
        QMessageBox::critical(this, QStringLiteral("Internet"), QStringLiteral("Erro de Internet!!!"), QMessageBox::Ok);
        return;
    }
    ui->lineEdit_numpedido->setText(ordersModel->data(ordersModel->index(index.row(), 0)).toString());
    on_pushButton_numpedido_clicked();
    ui->lineEdit_numpedido->setText(QString(QLatin1String("")));
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

QString MainWindow::LerTokenTelegram(int id)
{
    return storeState->LerTokenTelegram(id);
}

void MainWindow::VerificaPeriodoAbertura()
{
    storeState->VerificaPeriodoAbertura(idPizzaria, now);
}

void MainWindow::AtualizaTela()
{
    ui->label_conexao->setText(connectionSettings.serverStatusText);
    ui->label_usuario->setText(connectionSettings.userStatusText);
    storeState->takeStatusRow();
    ui->lcdNumber->display(storeState->currentEspera());
    ui->pushButton_status->setText(storeState->currentStatus() != 0 ? QStringLiteral("Status: ABERTO")
                                                                     : QStringLiteral("Status: FECHADO"));
    // The day's periods, and so the automatic mode, can change at midnight.
    ui->radioButton_auto->setEnabled(storeState->hasPeriods());
    (storeState->currentMode() == 0 ? ui->radioButton_auto : ui->radioButton_manual)->setChecked(true);
    ui->label_relogio->setText(now.toString(QStringLiteral("hh:mm:ss")));
    ui->label_funcionamento->setText(storeState->currentModeText());
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
    switch (storeState->toggleStatus(idPizzaria)) {
    case StoreState::Toggle::Written:
        enviarSite(storeState->currentStatus());
        AtualizaTela();
        break;
    case StoreState::Toggle::Refused:
        // Announcing a status the row does not hold would mislead every other console.
        QMessageBox::critical(this, QStringLiteral("Status"), QStringLiteral("O status da loja não foi gravado."),
                              QMessageBox::Ok);
        break;
    case StoreState::Toggle::Automatic:
        break;
    }
}

void MainWindow::on_pushButton_espera_clicked()
{
    float typed = float(storeState->currentEspera());
    // Closed without "Enter" writes nothing: the row may have changed meanwhile on the web side.
    if (Keypad::askAmount(&typed) && !storeState->setEspera(idPizzaria, typed))
        QMessageBox::critical(this, QStringLiteral("Espera"), QStringLiteral("O tempo de espera não foi gravado."),
                              QMessageBox::Ok);
    storeState->readStatusRow(idPizzaria);
    AtualizaTela();
}

void MainWindow::FecharPrograma()
{
    // Nothing more may run here, the schedule least of all: it could open the
    // store again while a dialog keeps the program alive.
    timer.stop();
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
    AtualizaStatus(idPizzaria, 0);
    closeWhenNoDialog();
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

void MainWindow::FecharLoja()
{
    storeState->FecharLoja(idPizzaria);
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

void MainWindow::closeConnected()
{
    announcer->connected(StoreAnnouncer::Close, sender());
}

void MainWindow::exchangeCloseDeclared()
{
    announcer->declared(StoreAnnouncer::Close, sender());
}

// Told without waiting: a box that blocked here would stop every tick behind it.
void MainWindow::announcementExpired(int kind)
{
    if (kind != StoreAnnouncer::Close)
        return;
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Fechar"),
                                QStringLiteral("O servidor de mensagens não respondeu em 60 segundos: a loja não foi "
                                               "fechada nos outros consoles."),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::enviarSite(int statusSite)
{
    announcer->enviarSite(idPizzaria, statusSite);
}

void MainWindow::siteConnected()
{
    announcer->connected(StoreAnnouncer::Site, sender());
}

void MainWindow::exchangeSiteDeclared()
{
    announcer->declared(StoreAnnouncer::Site, sender());
}

// ---------------------------------------------------------------- Internet and alarm

// Starts the check; its answer finishes the tick. False while one is pending.
bool MainWindow::checkInternet()
{
    return internetProbe->start();
}

void MainWindow::internetStep(bool answered)
{
    connectionSettings.internetOk = answered;
    if (!answered) {
        internetLost = true;
        notifier->show(QStringLiteral("Internet"), QStringLiteral("Erro de Internet"));
        ui->label_conexaoIinternet->setText(QStringLiteral("Internet NOK"));
        return;
    }
    ui->label_conexaoIinternet->setText(QStringLiteral("Internet OK"));
    if (internetLost) {
        listOutdated = true;
        internetLost = false;
    }
}

void MainWindow::alarmStep()
{
    if (noNewOrder) {
        if (!alarmTest)
            player->stop();
        return;
    }
    if (now.toString(QStringLiteral("mm")).toInt() % 10 != 0)
        notifier->show(QStringLiteral("Novo Pedido"), QStringLiteral("Novo pedido recebido!!!"));
}

void MainWindow::on_pushButton_gerenciar_clicked()
{
    qDebug() << "teste";
    Gerenciar dialog(nullptr);
    dialog.Inicializa(idPizzaria);
    dialog.setModal(true);
    dialog.exec();
}

void MainWindow::on_pushButton_play_clicked()
{
    player->play();
    ui->label_alarme->setText(QStringLiteral("Teste de Alarme ON"));
    alarmTest = true;
}

void MainWindow::on_pushButton_stop_clicked()
{
    player->stop();
    ui->label_alarme->setText(QStringLiteral("Alarme"));
    alarmTest = false;
}

// ---------------------------------------------------------------- broker receiver

void MainWindow::configureClient(QAmqpClient *amqp) const
{
    configureAmqp(amqp, connectionSettings.host, virtualhost, portbroker, userbroker, passbroker);
}

void MainWindow::startReceiver()
{
    configureClient(client);
    connect(client, SIGNAL(connected()), this, SLOT(clientConnected()));
    connect(client, &QAmqpClient::disconnected, this, &MainWindow::noteReceiverDown);
    client->connectToHost(QString(QLatin1String("")));
}

// The queue of a lost connection is gone with what was published meanwhile:
// the list is refreshed once the next queue consumes.
void MainWindow::noteReceiverDown()
{
    brokerReconnected = true;
    receiverConsuming = false;
    if (!receiverDownSince.isValid())
        receiverDownSince.start();
}

// The broker closed a channel of the receiver or ended its consumer (its queue
// was deleted, a declaration was refused): the connection stays open but
// nothing arrives any more, so the receiver is rebuilt at the next tick.
void MainWindow::noteReceiverChannelLost()
{
    // A lost connection closes its channels too; that case has its own grace.
    if (!client->isConnected())
        return;
    receiverBroken = true;
    noteReceiverDown();
}

void MainWindow::clientConnected()
{
    // Whatever was announced before this connection's queue consumes is missed.
    brokerReconnected = true;
    receiverConsuming = false;
    // Channels of a connection that was lost and reopened are dead; drop them.
    for (QAmqpChannel *old : client->findChildren<QAmqpChannel *>(QString(), Qt::FindDirectChildrenOnly))
        old->deleteLater();
    QAmqpExchange *exchange = client->createExchange(exchangeName, -1);
    connect(exchange, SIGNAL(declared()), this, SLOT(exchangeDeclared()));
    connect(exchange, &QAmqpChannel::closed, this, &MainWindow::noteReceiverChannelLost);
    exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::NoOptions, QAmqpTable());
}

void MainWindow::exchangeDeclared()
{
    QAmqpQueue *queue = client->createQueue(-1);
    connect(queue, SIGNAL(declared()), this, SLOT(queueDeclared()));
    connect(queue, SIGNAL(bound()), this, SLOT(queueBound()));
    connect(queue, SIGNAL(messageReceived()), this, SLOT(messageReceived()));
    connect(queue, &QAmqpQueue::consuming, this, [this] { receiverConsuming = true; });
    connect(queue, &QAmqpChannel::closed, this, &MainWindow::noteReceiverChannelLost);
    connect(queue, &QAmqpQueue::cancelled, this, &MainWindow::noteReceiverChannelLost);
    queue->declare(QAmqpQueue::Exclusive);
}

void MainWindow::queueDeclared()
{
    QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue)
        return;
    queue->bind(exchangeName, queue->name());
}

void MainWindow::queueBound()
{
    QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue)
        return;
    qDebug() << " [*] Waiting for logs. To exit press CTRL+C";
    queue->consume(QAmqpQueue::coNoAck);
}

void MainWindow::messageReceived()
{
    QAmqpQueue *queue = qobject_cast<QAmqpQueue *>(sender());
    if (!queue || queue->isEmpty())
        return;
    const QAmqpMessage message = queue->dequeue();
    qDebug() << " [x] recebida " << message.payload();
    lastMessage = BrokerMessage::textOfPayload(message.payload());
    if (!lastMessage.isEmpty())
        inbox.push(lastMessage);
}

void MainWindow::SetAmqp(QString servername, QString virtualhost, QString portbroker, QString userbroker,
                         QString passbroker)
{
    if (!amqpClient)
        amqpClient = new QAmqpClient(nullptr);
    configureAmqp(amqpClient, servername, virtualhost, portbroker, userbroker, passbroker);
}

void MainWindow::rebuildReceiver()
{
    client->disconnect();
    delete client;
    client = new QAmqpClient(nullptr);
    receiverBroken = false;
    noteReceiverDown();
    // The new client gets its own grace from the next tick that sees it down.
    receiverDownSince.invalidate();
    startReceiver();
}

// ---------------------------------------------------------------- the tick

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
    internetStep(internetAnswered);
    receiverStep();
    pollNewestOrder();
    VerificaPeriodoAbertura();
    while (!inbox.isEmpty()) {
        if (!dispatch(inbox.takeFirst()))
            return;
    }
    // However many messages asked for it, one refresh, before the alarm looks.
    if (listOutdated && databaseWorthTrying())
        refreshList();
    alarmStep();
    AtualizaTela();
}

void MainWindow::receiverStep()
{
    if (client->isConnected() && !receiverBroken) {
        ui->label_recepcao->setText(QStringLiteral("Login para recepção de pedidos: [ok]"));
        receiverDownSince.invalidate();
        if (brokerReconnected && receiverConsuming) {
            brokerReconnected = false;
            listOutdated = true;
        }
        return;
    }
    ui->label_recepcao->setText(QStringLiteral("Falha no login para recepção de pedidos"));
    notifier->show(QStringLiteral("Mensagem"), QStringLiteral("Erro no Broker para recepção de pedidos"));
    noteReceiverDown();
    // The client retries by itself; rebuilding too soon would throw that away.
    if (receiverBroken || receiverDownSince.elapsed() >= receiverConnectLimitMs)
        rebuildReceiver();
}

bool MainWindow::dispatch(const QString &text)
{
    lastMessage = text;
    qDebug() << lastMessage;
    const BrokerMessage message(lastMessage);
    bool closing = false;

    if (message.isFor(QStringLiteral("statussite"), idPizzaria)) {
        ui->radioButton_manual->setChecked(true);
        // Field 2: the status that was set.
        storeState->statusSetByHand(idPizzaria, message.fieldCount() > 2 ? message.order() : -1);
    }
    if (message.isFor(QStringLiteral("closeloja"), idPizzaria)) {
        FecharPrograma();
        closing = true;
    }
    if (message.isFor(QStringLiteral("aprovado"), idPizzaria)
        || message.isFor(QStringLiteral("cancelado"), idPizzaria)) {
        noNewOrder = true;
        listOutdated = true;
    }
    if (message.isFor(QStringLiteral("pedido_novo"), idPizzaria)) {
        qDebug() << "atualizarlista ";
        listOutdated = true;
    }
    if (message.carriesOrder())
        connectionSettings.lastAnnouncedOrder = message.order();
    if (message.changesOrder())
        emit OrderAnnouncements::instance()->orderChanged(message.store(), message.order());
    qDebug() << connectionSettings.lastAnnouncedOrder;
    lastMessage = QString(QLatin1String(""));
    return !closing;
}
