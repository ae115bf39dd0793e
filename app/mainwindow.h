#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QModelIndex>
#include <QSqlDatabase>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "messageinbox.h"

class QAmqpClient;
class QMediaPlayer;
class QSqlQueryModel;
class QSystemTrayIcon;
class QStyledItemDelegate;
class DatabaseWatch;
class InternetProbe;
class StoreAnnouncer;
class StoreState;
class TrayNotifier;

namespace Ui {
class MainWindow;
}

// The console's one window: login, recent orders, store state, alarm, and the
// one-second tick that dispatches the broker's order events.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The tick reads the time through this; tests put a fixed clock here.
    void setClock(std::function<QDateTime()> clock);

public slots:
    void startReceiver();

private slots:
    void clientConnected();
    void exchangeDeclared();
    void queueDeclared();
    void queueBound();
    void messageReceived();
    bool checkInternet();
    void AtualizaTela();
    void VerificaPeriodoAbertura();
    bool LerUltimosPedidos(int id, QSqlQueryModel *model);
    QString LerTokenTelegram(int id);
    bool AtualizaEspera(int id, int tempo);
    bool LerDiario(int id, int dia, QSqlQueryModel *model);
    bool AtualizaStatus(int id, int status);
    bool LerStatus(int id, QSqlQueryModel *model);
    bool LerConf();
    int LerTVUser();
    void enviarFecharLoja();
    void closeConnected();
    void exchangeCloseDeclared();
    void enviarSite(int statusSite);
    void siteConnected();
    void exchangeSiteDeclared();
    void on_actionSair_triggered();
    void atualizarlista();
    void task();
    void on_actionAbrir_CFG_triggered();
    void on_pushButton_gerenciar_clicked();
    void on_pushButton_play_clicked();
    void on_pushButton_stop_clicked();
    void on_pushButton_espera_clicked();
    void on_pushButton_status_clicked();
    void on_pushButton_numpedido_clicked();
    void on_tableView_pedidos_doubleClicked(QModelIndex index);
    void SetAmqp(QString servername, QString virtualhost, QString portbroker, QString userbroker,
                 QString passbroker);
    void on_radioButton_auto_clicked();
    void on_radioButton_manual_clicked();
    void on_pushButton_fechar_clicked();
    void FecharPrograma();
    void FecharLoja();

private:
    void configureClient(QAmqpClient *amqp) const;
    void announcementExpired(int kind);
    void closeWhenNoDialog();
    void rebuildReceiver();
    void finishTick(bool internetAnswered);
    void receiverStep();
    void noteReceiverDown();
    void noteReceiverChannelLost();
    bool dispatch(const QString &text);   // false once the store is closing
    void internetStep(bool answered);
    void alarmStep();
    bool refreshList();
    int newestOrderNumber();
    void noteDatabaseFailure(qint64 tookMs);
    bool databaseWorthTrying() const;
    void pollNewestOrder();
    void installDelegates();
    void newPlayer();

    Ui::MainWindow *ui;
    QString imagesDir;
    QString printerLine;
    QString loginName;
    QString loginPassword;
    QString userbroker;
    QString passbroker;
    QString virtualhost;
    QString portbroker;
    int idPizzaria = 0;
    QSqlQueryModel *ordersModel = nullptr;
    QDateTime now;
    QTimer timer;
    QMediaPlayer *player = nullptr;
    QString lastMessage{QLatin1String("")};
    QAmqpClient *amqpClient = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    QAmqpClient *client = nullptr;
    bool noNewOrder = true;
    bool alarmTest = false;
    bool brokerReconnected = false;
    bool internetLost = false;

    // Every message delivered since the last tick, oldest first.
    MessageInbox inbox;
    std::function<QDateTime()> clock;
    std::unique_ptr<StoreState> storeState;    // status row, schedule, mode, waiting time
    StoreAnnouncer *announcer = nullptr;
    TrayNotifier *notifier = nullptr;
    InternetProbe *internetProbe = nullptr;
    DatabaseWatch *databaseWatch = nullptr;
    QStyledItemDelegate *dateDelegate = nullptr;
    QStyledItemDelegate *valorDelegate = nullptr;
    QStyledItemDelegate *descontoDelegate = nullptr;
    QStyledItemDelegate *statusDelegate = nullptr;
    QElapsedTimer receiverDownSince;   // invalid while the receiver is connected
    bool receiverConsuming = false;
    bool receiverBroken = false;       // connected, but its consumer or a channel is gone
    QElapsedTimer newestOrderPoll;     // since the last look while no queue consumes
    int newestOrderSeen = 0;
    QElapsedTimer slowDatabaseFailure; // since a statement of the tick waited out its limit           // the highest order number listed or looked up
    bool listOutdated = false;         // refresh the list before the alarm step, until one succeeds
};
