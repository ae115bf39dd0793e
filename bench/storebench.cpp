// Store state figures on the private servers of scripts/servers:
//
//   eval "$(bash scripts/servers env)"
//   export QT_QPA_PLATFORM=offscreen QT_GSTREAMER_PLAYBIN_AUDIOSINK=fakesink
//   storebench
//
// "Fechar" until every console of the store has ended and ts_close is written,
// three consoles of the store on one broker; and one tick whose schedule check
// changes nothing, beside the status statement alone run through libmariadb.
#include "runningconsole.h"
#include "storestate.h"

#include "benchfigures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

const int closingRounds = benchRuns(5, 1);
constexpr int consolesPerStore = 3;
const int checkRuns = benchRuns(2000, 20);
const int tickRuns = benchRuns(30, 3);
const int statementRuns = benchRuns(200, 20);

struct Figures
{
    std::vector<double> ms;

    void print(const char *what) const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.empty()) {
            std::printf("  %-58s no figures\n", what);
            return;
        }
        std::printf("  %-58s median %9.3f ms (min %.3f, max %.3f, %zu runs; no aim: compared run to run)\n", what,
                    sorted[sorted.size() / 2], sorted.front(), sorted.back(), sorted.size());
    }
};

QString login()
{
    return QStringLiteral("bench-store-%1").arg(QCoreApplication::applicationPid());
}

bool receiving(const RunningConsole &console)
{
    return console.label("label_recepcao") == QStringLiteral("Login para recepção de pedidos: [ok]");
}

// Debug lines, and the warnings of several consoles sharing the named
// connections of one process, would drown the figures.
void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

bool benchClosing(DbFixture &db, int store)
{
    std::printf("\n[fechar] %d consoles of the store on one broker: \"Fechar\" until all ended and ts_close written\n",
                consolesPerStore);
    Figures closing;
    for (int round = 0; round < closingRounds; ++round) {
        db.setStatus(store, 1, 0);
        std::vector<std::unique_ptr<RunningConsole>> consoles;
        consoles.reserve(consolesPerStore);
        for (int i = 0; i < consolesPerStore; ++i)
            consoles.push_back(std::make_unique<RunningConsole>(login(), QStringLiteral("bench-pw")));
        if (!waitUntil([&] { return std::all_of(consoles.begin(), consoles.end(), [](auto &c) { return receiving(*c); }); },
                       30000)) {
            std::printf("  round %d: the consoles did not connect to the broker\n", round);
            continue;
        }
        const qint64 pressedAt = QDateTime::currentSecsSinceEpoch();
        QElapsedTimer timer;
        timer.start();
        consoles.front()->window()->findChild<QPushButton *>(QStringLiteral("pushButton_fechar"))->click();
        const bool ended = waitUntil([&] {
            return std::none_of(consoles.begin(), consoles.end(), [](auto &c) { return c->window()->isVisible(); })
                && db.scalar(QStringLiteral("select ts_close from status where id_pizzaria=:id and status=0"),
                             {{":id", store}}).toLongLong() >= pressedAt;
        }, 10000);
        if (ended)
            closing.ms.push_back(msSince(timer));
        else
            std::printf("  round %d: not every console ended within 10 s\n", round);
        // Last made, first gone: each console restores the working directory it found.
        while (!consoles.empty())
            consoles.pop_back();
    }
    closing.print("Fechar -> every console ended, ts_close written");
    return !closing.ms.empty();
}

bool benchCheck(DbFixture &db, int store)
{
    std::printf("\n[tick] a schedule check that changes nothing, against the status statement through libmariadb\n");
    const QDate today = QDate::currentDate();
    for (const char *period : {"00:00 06:00", "06:00 23:59", "11:00 14:00"})
        db.exec(QStringLiteral("insert into funcionamento (id_pizzaria, dia_semana, hora_inicio, hora_final) "
                               "values (:id, :dia, :inicio, :fim)"),
                {{":id", store}, {":dia", today.dayOfWeek() % 7}, {":inicio", QString::fromLatin1(period).left(5)},
                 {":fim", QString::fromLatin1(period).mid(6)}});
    db.setStatus(store, 1, 30);
    const QDateTime noon(today, QTime(12, 0));

    StoreState state([noon] { return noon; });
    state.start(store, noon, [] {});
    if (!QTest::qWaitFor([&state] { return !state.isBusy(); }, 15000))
        std::printf("the start-up reads did not end\n");
    state.takeStatusRow();
    state.VerificaPeriodoAbertura(store, noon);   // the first check records the state once, in the background
    if (!QTest::qWaitFor([&state] { return !state.isBusy(); }, 15000))
        std::printf("the first check's write did not end\n");
    Figures check;
    for (int run = 0; run < checkRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        state.VerificaPeriodoAbertura(store, noon);
        state.takeStatusRow();
        check.ms.push_back(msSince(timer));
    }
    check.print("schedule check and status row, no change (StoreState)");

    Figures tick;
    {
        RunningConsole console(login(), QStringLiteral("bench-pw"));
        console.window()->setClock([noon] { return noon; });
        console.tick();
        for (int run = 0; run < tickRuns; ++run) {
            QElapsedTimer timer;
            timer.start();
            console.tick();
            tick.ms.push_back(msSince(timer));
        }
    }
    tick.print("whole tick, no change (Internet check on a local page)");

    MYSQL *mysql = mysql_init(nullptr);
    if (!mysql_real_connect(mysql, qPrintable(TestEnv::dbHost()), qPrintable(TestEnv::dbUser()),
                            qPrintable(TestEnv::dbPassword()), qPrintable(TestEnv::dbName()),
                            unsigned(TestEnv::dbPort()), nullptr, 0)) {
        std::printf("  libmariadb cannot connect: %s\n", mysql_error(mysql));
        mysql_close(mysql);
        return false;
    }
    const char statement[] = "select status, espera from status where id_pizzaria=? ";
    MYSQL_STMT *query = mysql_stmt_init(mysql);
    int id = store;
    MYSQL_BIND parameter{};
    parameter.buffer_type = MYSQL_TYPE_LONG;
    parameter.buffer = &id;
    Figures alone;
    if (mysql_stmt_prepare(query, statement, sizeof statement - 1) == 0 && mysql_stmt_bind_param(query, &parameter) == 0) {
        for (int run = 0; run < statementRuns; ++run) {
            QElapsedTimer timer;
            timer.start();
            if (mysql_stmt_execute(query) != 0 || mysql_stmt_store_result(query) != 0)
                break;
            mysql_stmt_free_result(query);
            alone.ms.push_back(msSince(timer));
        }
    } else {
        std::printf("  libmariadb: %s\n", mysql_stmt_error(query));
    }
    alone.print("status statement alone (libmariadb, prepared once)");
    mysql_stmt_close(query);
    mysql_close(mysql);
    return !check.ms.empty() && !tick.ms.empty() && !alone.ms.empty();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    lineBufferedOutput();
    if (!TestEnv::haveServers()) {
        std::fprintf(stderr, "storebench: the private servers are not there (eval \"$(bash scripts/servers env)\")\n");
        return 2;
    }
    qInstallMessageHandler(quietDebug);
    DbFixture db;
    if (!db.isOpen()) {
        std::fprintf(stderr, "storebench: %s\n", qPrintable(db.lastError()));
        return 1;
    }
    const int store = db.addOwnedStore(login(), QStringLiteral("bench-pw"));
    const bool closed = benchClosing(db, store);
    const bool checked = benchCheck(db, store);
    for (const char *table : {"funcionamento", "status", "pizzaria"})
        db.exec(QStringLiteral("delete from %1 where id_pizzaria=:id").arg(QLatin1String(table)), {{":id", store}});
    db.exec(QStringLiteral("delete from usuarios where login=:login"), {{":login", login()}});
    return closed && checked ? 0 : 1;
}
