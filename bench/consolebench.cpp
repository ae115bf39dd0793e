// The running console's own figures, on the private servers of scripts/servers:
//
//   eval "$(bash scripts/servers env)"
//   export QT_QPA_PLATFORM=offscreen QT_GSTREAMER_PLAYBIN_AUDIOSINK=fakesink
//   consolebench [latency | refresh | burst | idle [seconds]]   (all four when none is named)
//
// Each measurement makes a store of its own (login "bench-<what>-<pid>") and
// deletes its rows afterwards; nothing else in the database is touched.
#include "connection.h"
#include "dbfixture.h"
#include "internetprobe.h"
#include "looplag.h"
#include "orderfetch.h"
#include "ordertexts.h"
#include "recentorders.h"
#include "runningconsole.h"
#include "servicepublisher.h"
#include "testenv.h"

#include "benchfigures.h"
#include "benchservice.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaPlayer>
#include <QRandomGenerator>
#include <QSqlQueryModel>
#include <QSignalSpy>
#include <QTableView>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

const int latencyRounds = benchRuns(100, 5);
constexpr double latencyAimSeconds = 1.1;
constexpr int refreshRows = 2000;
const int refreshRuns = benchRuns(20, 3);
constexpr double refreshAimRatio = 1.5;
constexpr int burstMessages = 1000;
constexpr int burstSlices = 10;
constexpr qint64 burstAimStallMs = 100;
const int idleDefaultSeconds = benchRuns(600, 10);
const int tickRuns = benchRuns(50, 5);

// ---------------------------------------------------------------- small helpers

int listRefreshes = 0;

// The console writes a debug line for every refresh and message; they would
// drown the figures and their cost is not the console's work.
void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.startsWith(QLatin1String("LerUltimosPedidos ")))
        ++listRefreshes;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}


bool consoleReady(RunningConsole &console)
{
    const bool ready = waitUntil(
        [&] {
            return console.label("label_recepcao") == QStringLiteral("Login para recepção de pedidos: [ok]")
                && console.label("label_conexaoIinternet") == QStringLiteral("Internet OK");
        },
        20000);
    if (!ready)
        std::printf("  the console did not reach the broker and the probe page within 20 s\n");
    return ready;
}

// Orders of the store from a select over seq_1_to_N, with :id and :newest bound.
bool insertOrders(DbFixture &db, int store, const QString &select)
{
    const bool inserted =
        db.exec(QStringLiteral("insert into pedido (id_pizzaria, data, valor, desconto, taxa_entrega, modo_pag, status) ")
                    + select,
                {{":id", store}, {":newest", QDateTime::currentSecsSinceEpoch()}});
    if (!inserted)
        std::printf("  cannot insert the orders: %s\n", qPrintable(db.lastError()));
    return inserted;
}

// A console logged in to the bench store, with the orders of select inserted
// first (when given), and ready; null after a failure, which it has printed.
std::unique_ptr<RunningConsole> readyConsole(DbFixture &db, const BenchStore &store, const QString &select = QString())
{
    if (!store.id) {
        std::printf("  cannot make the store: %s\n", qPrintable(db.lastError()));
        return nullptr;
    }
    if (!select.isEmpty() && !insertOrders(db, store.id, select))
        return nullptr;
    auto console = std::make_unique<RunningConsole>(store.login, benchPassword);
    return consoleReady(*console) ? std::move(console) : nullptr;
}

// ---------------------------------------------------------------- 1. new order to alarm

bool latency(DbFixture &db)
{
    std::printf("\n[latency] publishing \"pedido_novo:<store>:<order>:0\" -> order listed and alarm playing\n");
    BenchStore store(db, "latency");
    const std::unique_ptr<RunningConsole> ready = readyConsole(db, store);
    if (!ready)
        return false;
    RunningConsole &console = *ready;
    LogsPublisher publisher(RunningConsole::broker());
    if (!publisher.error().isEmpty()) {
        std::printf("  %s\n", qPrintable(publisher.error()));
        return false;
    }
    QMediaPlayer *player = console.window()->findChild<QMediaPlayer *>();

    // A fixed seed keeps runs comparable; the pause puts each publication at
    // another moment of the tick's second, as real orders are.
    QRandomGenerator pause(20240704);
    std::vector<double> samples;
    int missed = 0;
    for (int round = 0; round < latencyRounds; ++round) {
        const int order = db.addOrder(store.id, QDateTime::currentSecsSinceEpoch(), 42.5, 0, 0);
        if (!order) {
            std::printf("  cannot add an order: %s\n", qPrintable(db.lastError()));
            return false;
        }
        runFor(int(pause.bounded(1000)));

        QElapsedTimer sincePublished;
        double ringingAfterMs = -1;
        const QMetaObject::Connection watch =
            QObject::connect(player, &QMediaPlayer::stateChanged, [&](QMediaPlayer::State state) {
                if (state == QMediaPlayer::PlayingState && ringingAfterMs < 0 && console.lists(order))
                    ringingAfterMs = msSince(sincePublished);
            });
        sincePublished.start();
        if (!publisher.publish(QStringLiteral("pedido_novo:%1:%2:0").arg(store.id).arg(order).toLatin1())) {
            std::printf("  publishing failed\n");
            return false;
        }
        if (waitUntil([&] { return ringingAfterMs >= 0; }, 5000))
            samples.push_back(ringingAfterMs);
        else
            ++missed;
        QObject::disconnect(watch);

        // The operator handles it: the next order must find the alarm silent.
        db.exec(QStringLiteral("update pedido set status=1 where id_pedido=:id"), {{":id", order}});
        QMetaObject::invokeMethod(console.window(), "atualizarlista", Qt::DirectConnection);
        player->stop();
    }

    const double p50 = percentile(samples, 0.50) / 1000.0;
    const double p99 = percentile(samples, 0.99) / 1000.0;
    std::printf("  orders    %d (%zu measured, %d not listed and ringing within 5 s)\n", latencyRounds, samples.size(),
                missed);
    std::printf("  p50       %.3f s\n", p50);
    std::printf("  p99       %.3f s    aim: p99 <= %.1f s  -> %s\n", p99, latencyAimSeconds,
                metText(missed == 0 && p99 <= latencyAimSeconds));
    std::printf("  min, max  %.3f s, %.3f s\n", percentile(samples, 0) / 1000.0, percentile(samples, 1) / 1000.0);
    return missed == 0;
}

// ---------------------------------------------------------------- 2. refreshing 2,000 orders

bool refresh(DbFixture &db)
{
    std::printf("\n[refresh] the list of %d orders: atualizarlista in the window vs. its statement on libmariadb\n",
                refreshRows);
    BenchStore store(db, "refresh");
    // One order a minute back from now, none of them new, so that the refresh
    // reads every row looking for one; every fifth has a discount.
    const std::unique_ptr<RunningConsole> ready =
        readyConsole(db, store,
                     QStringLiteral("select :id, :newest - seq * 60, 20 + seq % 80 + 0.5, "
                                    "if(seq % 5 = 0, 3.75, null), 0, 1, 1 + seq % 4 from seq_1_to_2000"));
    if (!ready)
        return false;
    RunningConsole &console = *ready;
    if (console.listedOrders().size() != refreshRows) {
        std::printf("  the console lists %d orders, not %d\n", int(console.listedOrders().size()), refreshRows);
        return false;
    }

    // The list's own statement, on a connection kept open as the list's runner keeps its own.
    const QVariantMap bindings{{QStringLiteral(":id"), store.id},
                               {QStringLiteral(":data"), recentOrdersCutoff(QDateTime::currentDateTime())}};
    FetchClient client({TestEnv::dbHost(), TestEnv::dbUser(), TestEnv::dbPassword(), TestEnv::dbName(),
                        unsigned(TestEnv::dbPort())});
    const auto clientRun = [&] {
        int rows = 0;
        QString error;
        const double ms = client.runMs({RecentOrders::statement}, bindings, &rows, &error);
        if (ms < 0 || rows != refreshRows)
            std::printf("  libmariadb gave %d rows, not %d: %s\n", rows, refreshRows, qPrintable(error));
        return ms < 0 || rows != refreshRows ? -1.0 : ms;
    };

    auto *view = console.window()->findChild<QTableView *>(QStringLiteral("tableView_pedidos"));
    const auto refreshMs = [&] {
        QElapsedTimer timer;
        timer.start();
        QSignalSpy read(console.window()->findChild<RecentOrders *>(), &RecentOrders::refreshed);
        QMetaObject::invokeMethod(console.window(), "atualizarlista", Qt::DirectConnection);
        if (!read.wait(20000)) {
            std::printf("  the list was not read\n");
            return -1.0;
        }
        return msSince(timer);
    };
    std::vector<double> consoleMs;
    std::vector<double> sameMs;
    std::vector<double> paintMs;
    std::vector<double> clientMs;
    // A refresh follows a change: each run changes an order far down the
    // list, then reads the list once more unchanged. Alternating runs share
    // whatever else the machine is doing.
    for (int run = -2; run < refreshRuns; ++run) {
        db.exec(QStringLiteral("update pedido set status=if(status=1, 3, 1) where id_pizzaria=:id order by id_pedido "
                               "limit 1"),
                {{QStringLiteral(":id"), store.id}});
        const double refreshed = refreshMs();
        QElapsedTimer timer;
        timer.start();
        view->viewport()->repaint();
        const double painted = msSince(timer);
        const double same = refreshMs();
        if (refreshed < 0 || same < 0)
            return false;
        const double fetched = clientRun();
        if (fetched < 0)
            return false;
        if (run >= 0) {
            consoleMs.push_back(refreshed);
            sameMs.push_back(same);
            paintMs.push_back(painted);
            clientMs.push_back(fetched);
        }
        runFor(20);
    }
    if (console.listedOrders().size() != refreshRows) {
        std::printf("  after the runs the console lists %d orders, not %d\n", int(console.listedOrders().size()),
                    refreshRows);
        return false;
    }

    // Where the console's time goes, step by step. The window's own list
    // model is not a query model: the statement's step reads into one of ours.
    std::vector<double> statementMs;
    std::vector<double> widthsMs;
    QSqlQueryModel stepModel;
    for (int run = 0; run < refreshRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        bool read = false;
        QMetaObject::invokeMethod(console.window(), "LerUltimosPedidos", Qt::DirectConnection, Q_RETURN_ARG(bool, read),
                                  Q_ARG(int, store.id), Q_ARG(QSqlQueryModel *, &stepModel));
        statementMs.push_back(msSince(timer));
        timer.restart();
        view->resizeColumnsToContents();
        widthsMs.push_back(msSince(timer));
        if (!read || stepModel.rowCount() != refreshRows) {
            std::printf("  reading the list alone gave %d rows\n", read ? stepModel.rowCount() : -1);
            return false;
        }
        runFor(20);
    }

    const double ratio = median(consoleMs) / median(clientMs);
    std::printf("  runs      %d of each, after 2 unmeasured\n", refreshRuns);
    std::printf("  console   median %.1f ms (min %.1f, max %.1f): one order changed; statement on the list's own connection, model, column widths, until shown\n",
                median(consoleMs), percentile(consoleMs, 0), percentile(consoleMs, 1));
    std::printf("  unchanged median %.1f ms: the same read again, nothing to show anew\n", median(sameMs));
    std::printf("  client    median %.1f ms (min %.1f, max %.1f): libmariadb in this process, connection open, %d rows fetched\n",
                median(clientMs), percentile(clientMs, 0), percentile(clientMs, 1), refreshRows);
    std::printf("  ratio     %.2f    aim: <= %.1f  -> %s\n", ratio, refreshAimRatio, metText(ratio <= refreshAimRatio));
    std::printf("  console steps, medians: connection, statement and a query model %.1f ms; every row measured for the column widths (a store's first read) %.1f ms\n",
                median(statementMs), median(widthsMs));
    std::printf("  (painting the visible rows afterwards: median %.1f ms, not in the ratio)\n", median(paintMs));
    return true;
}

// ---------------------------------------------------------------- 3. a burst of new orders

bool burst(DbFixture &db)
{
    std::printf("\n[burst] %d \"pedido_novo\" within one second, %d orders already listed\n", burstMessages,
                refreshRows);
    BenchStore store(db, "burst");
    const std::unique_ptr<RunningConsole> ready =
        readyConsole(db, store, QStringLiteral("select :id, :newest - seq * 60, 30.5, null, 0, 1, 1 from seq_1_to_2000"));
    if (!ready)
        return false;
    RunningConsole &console = *ready;
    LogsPublisher publisher(RunningConsole::broker());
    if (!publisher.error().isEmpty()) {
        std::printf("  %s\n", qPrintable(publisher.error()));
        return false;
    }
    if (!insertOrders(db, store.id, QStringLiteral("select :id, :newest, 42.5, null, 0, 1, 0 from seq_1_to_1000")))
        return false;
    const int newest = db.scalar(QStringLiteral("select max(id_pedido) from pedido where id_pizzaria=:id"),
                                 {{":id", store.id}}).toInt();

    LoopLagMeter stalls;
    stalls.start();
    const int refreshesBefore = listRefreshes;
    QElapsedTimer publishing;
    publishing.start();
    for (int slice = 0; slice < burstSlices; ++slice) {
        for (int i = 0; i < burstMessages / burstSlices; ++i) {
            const int order = newest - (slice * (burstMessages / burstSlices) + i);
            if (!publisher.publish(QStringLiteral("pedido_novo:%1:%2:0").arg(store.id).arg(order).toLatin1())) {
                std::printf("  publishing failed\n");
                return false;
            }
        }
        runFor(1000 / burstSlices);
    }
    const double publishedMs = msSince(publishing);
    const int expected = refreshRows + burstMessages;
    const bool listed = waitUntil([&] { return console.listedOrders().size() == expected; }, 15000);
    const double listedMs = msSince(publishing);
    runFor(2000);
    stalls.stop();
    const int refreshes = listRefreshes - refreshesBefore;

    std::printf("  published %d messages in %.0f ms; all %d orders listed after %.0f ms: %s\n", burstMessages, publishedMs,
                expected, listedMs, listed ? "yes" : "NO");
    std::printf("  list refreshes %d for %d messages\n", refreshes, burstMessages);
    std::printf("  longest stall of the event loop %lld ms    aim: < %lld ms  -> %s\n",
                static_cast<long long>(stalls.maxLagMs()), static_cast<long long>(burstAimStallMs),
                metText(stalls.maxLagMs() < burstAimStallMs));
    return listed;
}

// ---------------------------------------------------------------- 4. idle console

bool idle(DbFixture &db, int seconds)
{
    std::printf("\n[idle] a logged-in console with a day's orders and nothing happening, for %d s\n", seconds);
    BenchStore store(db, "idle");
    const std::unique_ptr<RunningConsole> ready = readyConsole(
        db, store, QStringLiteral("select :id, :newest - seq * 1800, 35.9, null, 0, 1, 1 + seq % 3 from seq_1_to_40"));
    if (!ready)
        return false;
    RunningConsole &console = *ready;
    // The first ticks fill caches that then stay.
    runFor(5000);

    const long rssStart = procStatus("VmRSS");
    const long threadsStart = procStatus("Threads");
    const int fdsStart = openDescriptors();
    const int probesStart = console.probe().requests();
    const double cpuStart = cpuMs();
    QElapsedTimer wall;
    wall.start();

    std::printf("  %6s  %9s\n", "s", "VmRSS kB");
    std::printf("  %6d  %9ld\n", 0, rssStart);
    const int sampleEvery = std::max(10, seconds / 10);
    for (int elapsed = 0; elapsed < seconds;) {
        const int step = std::min(sampleEvery, seconds - elapsed);
        runFor(step * 1000);
        elapsed += step;
        std::printf("  %6d  %9ld\n", elapsed, procStatus("VmRSS"));
        std::fflush(stdout);
    }

    const double wallMs = msSince(wall);
    const double cpuUsed = cpuMs() - cpuStart;
    const int probes = console.probe().requests() - probesStart;
    const long rssEnd = procStatus("VmRSS");
    std::printf("  duration  %.1f s, %d ticks (probe requests)\n", wallMs / 1000.0, probes);
    std::printf("  CPU       %.2f %% of one core (%.0f ms; includes the local probe page served in this process)\n",
                100.0 * cpuUsed / wallMs, cpuUsed);
    std::printf("  VmRSS     start %ld kB, end %ld kB, change %+ld kB    aim: no growth from sample to sample\n", rssStart,
                rssEnd, rssEnd - rssStart);
    std::printf("  threads   start %ld, end %ld; open files start %d, end %d\n", threadsStart, procStatus("Threads"),
                fdsStart, openDescriptors());

    // One tick as the timer runs it, until its check has answered and the rest
    // has run, against a check of the same page alone, alternately.
    auto *consoleProbe = console.window()->findChild<InternetProbe *>();
    InternetProbe aloneProbe;
    aloneProbe.setUrl(consoleProbe->probeUrl());
    bool answered = false;
    QObject::connect(&aloneProbe, &InternetProbe::finished, [&](bool ok) { answered = ok; });
    std::vector<double> tickMs;
    std::vector<double> probeMs;
    double tickCpu = 0;
    double probeCpu = 0;
    for (int run = 0; run < tickRuns; ++run) {
        if (!waitUntil([&] { return !consoleProbe->isPending(); }, 5000))
            return false;
        double cpuBefore = cpuMs();
        QElapsedTimer timer;
        timer.start();
        console.window()->tickNow();
        waitUntil([&] { return !consoleProbe->isPending(); }, 5000);
        tickMs.push_back(msSince(timer));
        tickCpu += cpuMs() - cpuBefore;

        answered = false;
        cpuBefore = cpuMs();
        timer.restart();
        aloneProbe.start();
        waitUntil([&] { return !aloneProbe.isPending(); }, 5000);
        probeMs.push_back(msSince(timer));
        probeCpu += cpuMs() - cpuBefore;
        if (!answered) {
            std::printf("  the probe page did not answer\n");
            return false;
        }
        runFor(10);
    }
    std::printf("  tick      median %.2f ms wall, mean %.2f ms CPU: every step, the probe answered at once by the local page\n",
                median(tickMs), tickCpu / tickRuns);
    std::printf("  probe     median %.2f ms wall, mean %.2f ms CPU: the Internet check alone\n", median(probeMs),
                probeCpu / tickRuns);
    std::printf("  tick without the probe: about %.2f ms wall, %.2f ms CPU (%d runs of each)\n",
                median(tickMs) - median(probeMs), (tickCpu - probeCpu) / tickRuns, tickRuns);
    return true;
}

int usage()
{
    std::fprintf(stderr, "usage: consolebench [latency | refresh | burst | idle [seconds]]\n"
                         "  run against the servers of 'bash scripts/servers start' after eval \"$(bash scripts/servers env)\"\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler(quietDebug);
    lineBufferedOutput();

    const QStringList arguments = app.arguments().mid(1);
    const QString which = arguments.value(0, QStringLiteral("all"));
    int idleSeconds = idleDefaultSeconds;
    if (arguments.size() > 1) {
        bool number = false;
        idleSeconds = arguments.at(1).toInt(&number);
        if (which != QLatin1String("idle") || !number || idleSeconds <= 0 || arguments.size() > 2)
            return usage();
    }
    if (!QStringList{"all", "latency", "refresh", "burst", "idle"}.contains(which))
        return usage();
    if (!TestEnv::haveServers()) {
        std::fprintf(stderr, "consolebench: the servers' variables are not set\n");
        return usage();
    }
    DbFixture db;
    if (!db.isOpen()) {
        std::fprintf(stderr, "consolebench: cannot open the database: %s\n", qPrintable(db.lastError()));
        return 1;
    }

    const std::pair<const char *, std::function<bool()>> measurements[] = {
        {"latency", [&] { return latency(db); }}, {"refresh", [&] { return refresh(db); }},
        {"burst", [&] { return burst(db); }}, {"idle", [&] { return idle(db, idleSeconds); }}};
    bool ok = true;
    for (const auto &[name, measure] : measurements) {
        if (which == QLatin1String("all") || which == QLatin1String(name))
            ok = measure() && ok;
    }
    return ok ? 0 : 1;
}
