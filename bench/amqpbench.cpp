// Publish-to-delivery latency and throughput on the private broker: through
// the Qt adapter, and through a plain librabbitmq loop, side by side.
//   TRV_AMQP_PORT=... TRV_AMQP_USER=... TRV_AMQP_PASS=... [TRV_AMQP_VHOST=/] amqpbench [rounds]
#include "qamqpclient.h"
#include "qamqpexchange.h"
#include "qamqpqueue.h"

#include "benchfigures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QUuid>

#include <amqp.h>
#include <amqp_tcp_socket.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Settings
{
    QByteArray host = "127.0.0.1";
    int port = 5672;
    QByteArray user;
    QByteArray password;
    QByteArray vhost;
};

struct Figures
{
    double p50 = 0;      // microseconds
    double p99 = 0;
    double rate = 0;     // messages per second
};

constexpr int Warmup = 200;
const int Burst = benchRuns(10000, 1000);
constexpr double p50AimRatio = 1.3;
constexpr double rateAimRatio = 0.9;

amqp_bytes_t bytes(const QByteArray &data)
{
    amqp_bytes_t b;
    b.len = size_t(data.size());
    b.bytes = const_cast<char *>(data.constData());
    return b;
}

bool ok(amqp_connection_state_t conn, const char *what)
{
    const amqp_rpc_reply_t reply = amqp_get_rpc_reply(conn);
    if (reply.reply_type == AMQP_RESPONSE_NORMAL)
        return true;
    std::fprintf(stderr, "amqpbench: %s failed\n", what);
    return false;
}

amqp_connection_state_t openRaw(const Settings &s)
{
    amqp_connection_state_t conn = amqp_new_connection();
    amqp_socket_t *socket = amqp_tcp_socket_new(conn);
    if (!socket || amqp_socket_open(socket, s.host.constData(), s.port) != AMQP_STATUS_OK) {
        std::fprintf(stderr, "amqpbench: cannot reach %s:%d\n", s.host.constData(), s.port);
        amqp_destroy_connection(conn);
        return nullptr;
    }
    amqp_login(conn, s.vhost.constData(), 0, AMQP_DEFAULT_FRAME_SIZE, 10, AMQP_SASL_METHOD_PLAIN,
               s.user.constData(), s.password.constData());
    amqp_channel_open(conn, 1);
    if (!ok(conn, "login")) {
        amqp_destroy_connection(conn);
        return nullptr;
    }
    return conn;
}

bool consumeOne(amqp_connection_state_t conn)
{
    for (;;) {
        amqp_maybe_release_buffers(conn);
        amqp_envelope_t envelope;
        const amqp_rpc_reply_t reply = amqp_consume_message(conn, &envelope, nullptr, 0);
        if (reply.reply_type == AMQP_RESPONSE_NORMAL) {
            amqp_destroy_envelope(&envelope);
            return true;
        }
        if (reply.reply_type != AMQP_RESPONSE_LIBRARY_EXCEPTION
            || reply.library_error != AMQP_STATUS_UNEXPECTED_STATE)
            return false;
        amqp_frame_t frame;
        if (amqp_simple_wait_frame(conn, &frame) != AMQP_STATUS_OK)
            return false;
    }
}

// One connection publishes, another consumes, both driven by the calling thread.
class RawLoop
{
public:
    ~RawLoop()
    {
        for (amqp_connection_state_t conn : {m_sub, m_pub}) {
            if (conn) {
                amqp_connection_close(conn, AMQP_REPLY_SUCCESS);
                amqp_destroy_connection(conn);
            }
        }
    }

    bool open(const Settings &s, const QByteArray &exchange)
    {
        m_exchange = exchange;
        m_pub = openRaw(s);
        m_sub = m_pub ? openRaw(s) : nullptr;
        if (!m_sub)
            return false;
        amqp_exchange_declare(m_pub, 1, bytes(exchange), amqp_cstring_bytes("fanout"), 0, 0, 1, 0, amqp_empty_table);
        if (!ok(m_pub, "exchange declare"))
            return false;
        amqp_queue_declare_ok_t *declared = amqp_queue_declare(m_sub, 1, amqp_empty_bytes, 0, 0, 1, 1, amqp_empty_table);
        if (!ok(m_sub, "queue declare"))
            return false;
        const amqp_bytes_t queue = amqp_bytes_malloc_dup(declared->queue);
        amqp_queue_bind(m_sub, 1, queue, bytes(exchange), queue, amqp_empty_table);
        bool good = ok(m_sub, "bind");
        amqp_basic_consume(m_sub, 1, queue, amqp_empty_bytes, 0, 1, 1, amqp_empty_table);
        good = good && ok(m_sub, "consume");
        amqp_bytes_free(queue);
        return good;
    }

    bool roundTrips(const QByteArray &payload, int count, std::vector<double> *latencies)
    {
        QElapsedTimer clock;
        for (int i = 0; i < count; ++i) {
            clock.start();
            if (!publish(payload) || !consumeOne(m_sub))
                return false;
            if (latencies)
                latencies->push_back(double(clock.nsecsElapsed()) / 1000.0);
        }
        return true;
    }

    bool burst(const QByteArray &payload, int count, double *rate)
    {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < count; ++i) {
            if (!publish(payload))
                return false;
        }
        for (int i = 0; i < count; ++i) {
            if (!consumeOne(m_sub))
                return false;
        }
        *rate = count / (double(clock.nsecsElapsed()) / 1e9);
        return true;
    }

private:
    bool publish(const QByteArray &payload)
    {
        amqp_basic_properties_t properties;
        properties._flags = AMQP_BASIC_CONTENT_TYPE_FLAG;
        properties.content_type = amqp_cstring_bytes("text/plain");
        return amqp_basic_publish(m_pub, 1, bytes(m_exchange), amqp_empty_bytes, 0, 0, &properties, bytes(payload)) == 0;
    }

    QByteArray m_exchange;
    amqp_connection_state_t m_pub = nullptr;
    amqp_connection_state_t m_sub = nullptr;
};

// Alternates blocks of round trips through the raw loop and through the
// adapter, so that the load of a shared machine weighs on both alike.
class Comparison : public QObject
{
public:
    Comparison(const Settings &s, RawLoop *raw, const QByteArray &exchange, const QByteArray &payload,
               int rounds)
        : m_raw(raw), m_exchangeName(QString::fromLatin1(exchange)), m_payload(payload),
          m_text(QString::fromLatin1(payload)), m_rounds(rounds)
    {
        for (QAmqpClient *client : {&m_publisher, &m_consumer}) {
            client->setHost(QString::fromUtf8(s.host));
            client->setPort(quint16(s.port));
            client->setUsername(QString::fromUtf8(s.user));
            client->setPassword(QString::fromUtf8(s.password));
            client->setVirtualHost(QString::fromUtf8(s.vhost));
        }
        connect(&m_consumer, &QAmqpClient::connected, this, [this] {
            m_queue = m_consumer.createQueue();
            connect(m_queue, &QAmqpQueue::declared, this, [this] { m_queue->bind(m_exchangeName, m_queue->name()); });
            connect(m_queue, &QAmqpQueue::bound, this, [this] { m_queue->consume(QAmqpQueue::coNoAck); });
            connect(m_queue, &QAmqpQueue::consuming, this, [this] { nextBlock(); });
            connect(m_queue, &QAmqpQueue::messageReceived, this, &Comparison::received);
            connect(m_queue, &QAmqpQueue::closed, this, [this] { fail("queue closed"); });
            m_queue->declare(QAmqpQueue::Exclusive | QAmqpQueue::AutoDelete);
        });
        connect(&m_publisher, &QAmqpClient::connected, this, [this] {
            m_exchange = m_publisher.createExchange(m_exchangeName);
            // The queue binds to an existing exchange.
            connect(m_exchange, &QAmqpExchange::declared, this, [this] { m_consumer.connectToHost(QString()); });
            m_exchange->declare(QAmqpExchange::FanOut, QAmqpExchange::AutoDelete);
        });
        QTimer::singleShot(120000, this, [this] { fail("timed out"); });
        m_publisher.connectToHost(QString());
    }

    bool good = false;
    Figures raw;
    Figures adapter;

private:
    static constexpr int Blocks = 10;
    static constexpr int Bursts = 2;

    void fail(const char *why)
    {
        std::fprintf(stderr, "amqpbench: %s\n", why);
        QCoreApplication::exit(1);
    }

    // Runs the raw part of the next block at once, then the adapter's part
    // through the event loop.
    void nextBlock()
    {
        if (m_block == 0 && !m_raw->roundTrips(m_payload, Warmup, nullptr))
            return fail("raw loop failed");
        if (m_block < Blocks) {
            if (!m_raw->roundTrips(m_payload, m_rounds / Blocks, &m_rawLatencies))
                return fail("raw loop failed");
            m_left = m_rounds / Blocks + (m_block == 0 ? Warmup : 0);
            m_measure = m_block > 0 ? 1 : -Warmup + 1;
            ++m_block;
            m_clock.start();
            m_exchange->publish(m_text, QString());
            return;
        }
        if (m_burst < Bursts) {
            double rate = 0;
            if (!m_raw->burst(m_payload, Burst, &rate))
                return fail("raw loop failed");
            m_rawRates.push_back(rate);
            ++m_burst;
            m_left = -Burst;   // counts deliveries up to zero
            m_clock.start();
            for (int i = 0; i < Burst; ++i)
                m_exchange->publish(m_text, QString());
            return;
        }
        raw = summary(m_rawLatencies, m_rawRates);
        adapter = summary(m_latencies, m_rates);
        good = true;
        QCoreApplication::quit();
    }

    void received()
    {
        m_queue->dequeue();
        if (m_left < 0) {
            if (++m_left == 0) {
                m_rates.push_back(Burst / (double(m_clock.nsecsElapsed()) / 1e9));
                QTimer::singleShot(0, this, &Comparison::nextBlock);
            }
            return;
        }
        if (m_measure++ > 0)
            m_latencies.push_back(double(m_clock.nsecsElapsed()) / 1000.0);
        if (--m_left > 0) {
            m_clock.start();
            m_exchange->publish(m_text, QString());
        } else {
            QTimer::singleShot(0, this, &Comparison::nextBlock);
        }
    }

    static Figures summary(const std::vector<double> &latencies, const std::vector<double> &rates)
    {
        Figures f;
        f.p50 = percentile(latencies, 0.50);
        f.p99 = percentile(latencies, 0.99);
        for (double rate : rates)
            f.rate += rate / double(rates.size());
        return f;
    }

    RawLoop *m_raw;
    QAmqpClient m_publisher;
    QAmqpClient m_consumer;
    QAmqpExchange *m_exchange = nullptr;
    QAmqpQueue *m_queue = nullptr;
    QString m_exchangeName;
    QByteArray m_payload;
    QString m_text;
    int m_rounds;
    int m_block = 0;
    int m_burst = 0;
    int m_left = 0;
    int m_measure = 0;
    QElapsedTimer m_clock;
    std::vector<double> m_rawLatencies;
    std::vector<double> m_latencies;
    std::vector<double> m_rawRates;
    std::vector<double> m_rates;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    lineBufferedOutput();
    Settings s;
    s.port = qEnvironmentVariableIntValue("TRV_AMQP_PORT");
    s.user = qgetenv("TRV_AMQP_USER");
    s.password = qgetenv("TRV_AMQP_PASS");
    s.vhost = qgetenv("TRV_AMQP_VHOST");
    if (s.vhost.isEmpty())
        s.vhost = "/";
    if (s.port == 0 || s.user.isEmpty()) {
        std::fprintf(stderr, "amqpbench: set TRV_AMQP_PORT, TRV_AMQP_USER and TRV_AMQP_PASS\n");
        return 2;
    }
    const int rounds = argc > 1 ? std::max(100, atoi(argv[1])) : benchRuns(2000, 100);
    const QByteArray payload = "pedido_novo:7:1520:0";   // the size of a real order event
    const QByteArray exchange = "trv.bench." + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);

    RawLoop rawLoop;
    if (!rawLoop.open(s, exchange + ".raw"))
        return 1;
    Comparison run(s, &rawLoop, exchange + ".adapter", payload, rounds);
    if (app.exec() != 0 || !run.good)
        return 1;
    const Figures &raw = run.raw;
    const Figures &a = run.adapter;

    std::printf("publish-to-delivery: %d round trips of %d bytes each way, in alternating blocks; throughput: 2 bursts of %d\n",
                rounds, int(payload.size()), Burst);
    std::printf("%-20s %12s %12s %16s\n", "", "p50 (us)", "p99 (us)", "throughput (/s)");
    std::printf("%-20s %12.1f %12.1f %16.0f\n", "plain librabbitmq", raw.p50, raw.p99, raw.rate);
    std::printf("%-20s %12.1f %12.1f %16.0f\n", "adapter", a.p50, a.p99, a.rate);
    std::printf("%-20s %12.2f %12.2f %16.2f\n", "ratio adapter/plain", a.p50 / raw.p50, a.p99 / raw.p99,
                a.rate / raw.rate);
    std::printf("aim: p50 ratio <= %.1f  -> %s; throughput ratio >= %.1f  -> %s\n", p50AimRatio,
                metText(a.p50 / raw.p50 <= p50AimRatio), rateAimRatio, metText(a.rate / raw.rate >= rateAimRatio));
    return 0;
}
