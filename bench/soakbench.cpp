// A compressed day of service, on the private servers of scripts/servers:
//
//   bash scripts/bench soak [minutes]          (10 when not given)
//
// Three consoles of one store and two of another run offscreen, each in a
// process of its own, reaching the database and the broker through relays.
// The service announces orders (every 200 ms on average, with bursts of 20),
// approvals, cancellations and store statuses, while the run restarts the
// broker twice, closes every broker connection, deletes the consoles' queues,
// raises a memory alarm, stops and starts MariaDB, makes the server
// unreachable for 30 s and silences the Internet probe. A final "closeloja"
// of the first store must end exactly its three consoles.
//
// Each console reports the orders it listed, its longest event-loop stall,
// its resident memory and open descriptors; the run prints them per console.
#include "looplag.h"
#include "runningconsole.h"

#include "benchfigures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTableView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

constexpr qint64 listedWithinMs = 15000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void silent(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void say(const QByteArray &line)
{
    std::fprintf(stdout, "%s\n", line.constData());
    std::fflush(stdout);
}

// ---------------------------------------------------------------- one console, in a child process

// Lines on stdout: "ready <rss> <fds>", "listed <order> <epoch ms>", "stat <lag ms> <rss> <fds>",
// "end closed" when a closing message ended it, "end other" otherwise.
// Lines on stdin: "probe silent", "probe answer", "quit".
int runConsole(const QString &login, const QString &password, quint16 brokerPort, quint16 dbPort)
{
    qInstallMessageHandler(silent);
    // A closing message closes the window; the report comes after it.
    QApplication::setQuitOnLastWindowClosed(false);
    RunningConsole console(login, password, ConsoleServers{brokerPort, dbPort, {}, {}});
    if (!console.ready()) {
        say("end other");
        return 1;
    }
    say("ready " + QByteArray::number(qlonglong(procStatus("VmRSS"))) + ' ' + QByteArray::number(openDescriptors()));
    LoopLagMeter lag;
    lag.start();
    QSet<int> listed(console.listedOrders().cbegin(), console.listedOrders().cend());
    QTimer look;
    QElapsedTimer sinceLook;
    sinceLook.start();
    QObject::connect(&look, &QTimer::timeout, [&] {
        // A stall worth a look is told when it happens, to be set beside the faults.
        const qint64 gap = sinceLook.restart();
        if (gap > 1000)
            say("stall " + QByteArray::number(gap) + ' ' + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1());
        if (!console.window()->isVisible()) {
            say("stat " + QByteArray::number(lag.maxLagMs()) + ' ' + QByteArray::number(qlonglong(procStatus("VmRSS"))) + ' '
                + QByteArray::number(openDescriptors()));
            say("end closed");
            QCoreApplication::exit(0);
            return;
        }
        for (int order : console.listedOrders())
            if (!listed.contains(order)) {
                listed.insert(order);
                say("listed " + QByteArray::number(order) + ' ' + QByteArray::number(nowMs()));
            }
    });
    look.start(100);
    QTimer stats;
    QObject::connect(&stats, &QTimer::timeout, [&] {
        say("stat " + QByteArray::number(lag.maxLagMs()) + ' ' + QByteArray::number(qlonglong(procStatus("VmRSS"))) + ' '
            + QByteArray::number(openDescriptors()));
    });
    stats.start(5000);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        const QByteArray commands(buffer, n > 0 ? int(n) : 0);
        if (commands.contains("probe silent"))
            console.probe().setMode(LocalProbePage::Silent);
        if (commands.contains("probe answer"))
            console.probe().setMode(LocalProbePage::Answer);
        if (n <= 0 || commands.contains("quit")) {
            say("end other");
            QCoreApplication::exit(0);
        }
    });
    return QCoreApplication::exec();
}

// ---------------------------------------------------------------- the run

struct Console
{
    int store = 0;
    std::unique_ptr<QProcess> process;
    QHash<int, qint64> listedAt;
    qint64 worstLag = 0;
    long rssStart = -1, rssEnd = -1;
    int fdsStart = -1, fdsEnd = -1;
    QByteArray ended;

    void read()
    {
        while (process->canReadLine()) {
            const QList<QByteArray> f = process->readLine().trimmed().split(' ');
            if (f.value(0) == "ready") {
                rssStart = f.value(1).toLong();
                fdsStart = f.value(2).toInt();
            } else if (f.value(0) == "listed") {
                listedAt.insert(f.value(1).toInt(), f.value(2).toLongLong());
            } else if (f.value(0) == "stat") {
                worstLag = qMax(worstLag, f.value(1).toLongLong());
                rssEnd = f.value(2).toLong();
                fdsEnd = f.value(3).toInt();
            } else if (f.value(0) == "stall") {
                std::printf("  %s a console of store %d stalled (seen at the next look)\n", f.value(2).constData(), store);
            } else if (f.value(0) == "end") {
                ended = f.value(1);
            }
        }
    }
};

void serveFor(qint64 ms)
{
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

bool control(const QStringList &arguments)
{
    const bool ok = TestEnv::serverControl(arguments, 120000);
    std::printf("  %s %s%s\n", qPrintable(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))),
                qPrintable(arguments.join(QLatin1Char(' '))), ok ? "" : " (failed)");
    std::fflush(stdout);
    return ok;
}

int runSoak(int minutes)
{
    qInstallMessageHandler(silent);
    DbFixture db;
    if (!db.isOpen()) {
        std::fprintf(stderr, "soakbench: cannot open the database: %s\n", qPrintable(db.lastError()));
        return 1;
    }
    const QString password = QStringLiteral("soak-pw");
    const int storeA = db.addOwnedStore(QStringLiteral("soak-a-%1").arg(getpid()), password);
    const int storeB = db.addOwnedStore(QStringLiteral("soak-b-%1").arg(getpid()), password);
    db.setStatus(storeA, 1, 30);
    db.setStatus(storeB, 1, 30);
    RelayThread dbRelay(static_cast<quint16>(TestEnv::dbPort()));
    RelayThread brokerRelay(static_cast<quint16>(TestEnv::amqpPort()));

    std::vector<Console> consoles(5);
    for (size_t i = 0; i < consoles.size(); ++i) {
        Console &c = consoles[i];
        c.store = i < 3 ? storeA : storeB;
        c.process = std::make_unique<QProcess>();
        c.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(c.process.get(), &QProcess::readyReadStandardOutput, [&c] { c.read(); });
        c.process->start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--console"), QStringLiteral("soak-%1-%2").arg(i < 3 ? "a" : "b").arg(getpid()), password,
                          QString::number(brokerRelay.port()), QString::number(dbRelay.port())});
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 90000 && std::any_of(consoles.begin(), consoles.end(), [](const Console &c) { return c.rssStart < 0 && c.ended.isEmpty(); }))
        serveFor(100);
    std::printf("soak: %d minute(s), 5 consoles ready after %.1f s\n", minutes, double(waited.elapsed()) / 1000.0);

    // The faults, at their share of the run.
    const qint64 runMs = qint64(minutes) * 60000;
    struct Fault { double at; std::function<void()> act; };
    const QString deleteQueues = QStringLiteral("[rabbit_amqqueue:delete(Q, false, false, <<\"soak\">>) || Q <- rabbit_amqqueue:list(),"
                                                " binary:match(element(4, amqqueue:get_name(Q)), <<\"amq.gen-\">>) =/= nomatch].");
    const auto toConsoles = [&](const QByteArray &command) {
        for (Console &c : consoles)
            c.process->write(command + '\n');
    };
    std::vector<Fault> faults{
        {0.08, [] { control({"broker-stop"}); serveFor(5000); control({"broker-start"}); }},
        {0.16, [] { control({"broker-ctl", "close_all_connections", "soak"}); }},
        {0.24, [&] { control({"broker-ctl", "eval", deleteQueues}); }},
        {0.32, [] { control({"broker-ctl", "set_vm_memory_high_watermark", "0.0000001"}); serveFor(20000);
                    control({"broker-ctl", "set_vm_memory_high_watermark", "0.4"}); }},
        {0.44, [] { control({"stop", "mariadb"}); serveFor(3000); control({"start", "mariadb"}); }},
        {0.56, [&] { std::printf("  server unreachable for 30 s\n"); dbRelay.freeze(); brokerRelay.freeze(); serveFor(30000);
                     dbRelay.release(); brokerRelay.release(); }},
        {0.68, [&] { std::printf("  probe page silent for 30 s\n"); toConsoles("probe silent"); serveFor(30000); toConsoles("probe answer"); }},
        {0.80, [] { control({"broker-stop"}); serveFor(5000); control({"broker-start"}); }},
    };

    QHash<int, qint64> announcedAt;   // order -> when it was written
    QHash<int, int> storeOf;
    QRandomGenerator random(20261207);
    const auto announce = [&](const QStringList &texts) {
        QList<QByteArray> messages;
        for (const QString &text : texts)
            messages.append(text.toLatin1());
        publishOnLogs(RunningConsole::broker(), messages);   // the broker may be away: the console must find them anyway
    };
    const auto newOrders = [&](int store, int count) {
        QStringList texts;
        for (int i = 0; i < count; ++i) {
            const int order = db.addOrder(store, QDateTime::currentSecsSinceEpoch(), 42.5, 0, 0);
            if (order <= 0)
                continue;   // the database is away: the service writes nothing either
            announcedAt.insert(order, nowMs());
            storeOf.insert(order, store);
            texts << QStringLiteral("pedido_novo:%1:%2:0").arg(store).arg(order);
        }
        announce(texts);
    };

    QElapsedTimer run;
    run.start();
    size_t nextFault = 0;
    while (run.elapsed() < runMs) {
        if (nextFault < faults.size() && run.elapsed() >= qint64(faults[nextFault].at * double(runMs)))
            faults[nextFault++].act();
        const int roll = int(random.bounded(100));
        if (roll < 2) {
            newOrders(storeA, 20);
        } else if (roll < 70) {
            newOrders(roll < 55 ? storeA : storeB, 1);
        } else if (roll < 80 && !announcedAt.isEmpty()) {
            const int order = announcedAt.keys().at(int(random.bounded(announcedAt.size())));
            const bool approve = roll < 76;
            db.exec(QStringLiteral("update pedido set status=:s where id_pedido=:p"), {{":s", approve ? 1 : 2}, {":p", order}});
            announce({QStringLiteral("%1:%2:%3:%4").arg(QLatin1String(approve ? "aprovado" : "cancelado"))
                          .arg(storeOf.value(order)).arg(order).arg(approve ? 1 : 2)});
        } else if (roll < 82) {
            announce({QStringLiteral("statussite:%1:1:5").arg(roll < 81 ? storeA : storeB)});
        }
        serveFor(qint64(random.bounded(400)));
    }

    std::printf("  publishing stopped; waiting 20 s, then closing the first store\n");
    serveFor(20000);
    announce({QStringLiteral("closeloja:%1:0:4").arg(storeA)});
    serveFor(10000);
    for (Console &c : consoles)
        if (c.ended.isEmpty())
            c.process->write("quit\n");
    for (Console &c : consoles) {
        c.process->waitForFinished(15000);
        c.read();
    }

    std::printf("soak: %d orders announced (%d for the first store)\n", int(announcedAt.size()),
                int(std::count(storeOf.cbegin(), storeOf.cend(), storeA)));
    bool allClosedRight = true;
    for (size_t i = 0; i < consoles.size(); ++i) {
        const Console &c = consoles[i];
        int ours = 0, inTime = 0;
        qint64 longest = 0;
        for (auto it = announcedAt.cbegin(); it != announcedAt.cend(); ++it) {
            if (storeOf.value(it.key()) != c.store)
                continue;
            ++ours;
            const qint64 delay = c.listedAt.value(it.key(), -1) < 0 ? -1 : c.listedAt.value(it.key()) - it.value();
            if (delay >= 0 && delay <= listedWithinMs)
                ++inTime;
            longest = delay < 0 ? qMax(longest, qint64(run.elapsed())) : qMax(longest, delay);
        }
        const bool shouldClose = c.store == storeA;
        allClosedRight = allClosedRight && (c.ended == "closed") == shouldClose;
        std::printf("  console %zu (store %d): listed %d/%d within 15 s, longest %.1f s, longest stall %lld ms, "
                    "memory %ld -> %ld kB, descriptors %d -> %d, ended %s\n",
                    i + 1, c.store, inTime, ours, double(longest) / 1000.0, static_cast<long long>(c.worstLag),
                    c.rssStart, c.rssEnd, c.fdsStart, c.fdsEnd, c.ended.isEmpty() ? "without a word" : c.ended.constData());
    }
    std::printf("soak: the closing %s\n", allClosedRight ? "ended exactly the first store's consoles"
                                                         : "did NOT end exactly the first store's consoles");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    lineBufferedOutput();
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--console"))
        return runConsole(args.value(2), args.value(3), quint16(args.value(4).toUInt()), quint16(args.value(5).toUInt()));
    if (TestEnv::value("TRV_DB_PORT").isEmpty()) {
        std::fprintf(stderr, "soakbench: the servers' variables are not set (eval \"$(bash scripts/servers env)\")\n");
        return 2;
    }
    const int minutes = args.size() > 1 ? args.value(1).toInt() : 10;
    return runSoak(minutes > 0 ? minutes : 10);
}
