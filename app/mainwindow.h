#pragma once

#include "configfile.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QModelIndex>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QAmqpClient;
class QSqlQueryModel;
class Alarm;
class AutoApproval;
class Connectivity;
class DatabaseWatch;
class StatementRunner;
class InternetProbe;
class OrderReceiver;
class RecentOrders;
class StoreAnnouncer;
class StoreState;

namespace Ui {
class MainWindow;
}

// The console's one window: login, recent orders, store state, alarm, and the
// one-second tick that dispatches the broker's order events. The work itself
// is done by the receiver, the list, the alarm and the store state.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The tick reads the time through this; tests put a fixed clock here.
    void setClock(std::function<QDateTime()> clock);
    void startReceiver();
    // Runs a tick now, as the timer would; false while one still waits for its Internet check.
    bool tickNow();
    // The order number of the last announcement that carried one.
    int lastAnnouncedOrder() const { return lastAnnounced; }

private slots:
    bool checkInternet();
    void AtualizaTela();
    void VerificaPeriodoAbertura();
    bool LerUltimosPedidos(int id, QSqlQueryModel *model);
    bool AtualizaEspera(int id, int tempo);
    bool LerDiario(int id, int dia, QSqlQueryModel *model);
    bool AtualizaStatus(int id, int status);
    bool LerStatus(int id, QSqlQueryModel *model);
    bool LerConf();
    int LerTVUser();
    void enviarFecharLoja();
    void enviarSite(int statusSite);
    void on_actionSair_triggered();
    void atualizarlista();
    void task();
    void on_actionAbrir_CFG_triggered();
    void on_pushButton_gerenciar_clicked();
    void on_actionResumo_dia_triggered();
    void on_pushButton_play_clicked();
    void on_pushButton_stop_clicked();
    void on_pushButton_espera_clicked();
    void on_pushButton_status_clicked();
    void on_pushButton_numpedido_clicked();
    void on_tableView_pedidos_doubleClicked(QModelIndex index);
    void on_radioButton_auto_clicked();
    void on_radioButton_manual_clicked();
    void on_pushButton_fechar_clicked();
    void FecharPrograma();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    enum class Closing { NotStarted, Waiting, Answered };

    void configureClient(QAmqpClient *amqp) const;
    void tell(QMessageBox::Icon icon, const QString &title, const QString &text);
    void closeStore();
    void login(bool atStart);
    void retryLogin();
    void loggedIn(int id);
    void announcementExpired(int kind);
    void closeWhenNoDialog();
    void finishTick(bool internetAnswered);
    void receiverStep();
    bool dispatch(const QString &text);   // false once the store is closing
    void internetStep(bool answered);
    void ordersListed();
    void operatorCalls();

    Ui::MainWindow *ui;
    ConfigValues config;   // as read from config.conf
    int idPizzaria = 0;
    QDateTime now;
    QTimer timer;
    bool internetLost = false;
    Closing closing = Closing::NotStarted;   // the store's closing write
    bool loginDue = false;                   // the login's statement failed: try again
    bool storeStarted = false;               // the store's rows were read for idPizzaria
    QElapsedTimer loginRetry;
    QString serverText{QStringLiteral("Servidor não conectado!")};
    QString userText{QLatin1String("")};
    int lastAnnounced = 0;

    std::function<QDateTime()> clock;
    std::unique_ptr<StoreState> storeState;    // status row, schedule, mode, waiting time
    Connectivity *connectivity;
    DatabaseWatch *databaseWatch;
    StatementRunner *loginReader;
    StatementRunner *orderStatements;   // the order dialogs', one after the other
    Alarm *alarm = nullptr;
    AutoApproval *autoApproval = nullptr;
    RecentOrders *recentOrders = nullptr;
    OrderReceiver *receiver = nullptr;
    StoreAnnouncer *announcer = nullptr;
    InternetProbe *internetProbe = nullptr;
};
