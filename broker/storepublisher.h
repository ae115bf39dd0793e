#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QAmqpClient;
class QAmqpExchange;

// Publishes the console's texts on the fanout exchange "logs" over a
// connection of its own: connects, declares the exchange, publishes what it
// holds (each text once, also across reconnections), and when let go,
// closes the connection after the last one and deletes itself.
class StorePublisher : public QObject
{
    Q_OBJECT

public:
    // configure gives the client its broker settings.
    explicit StorePublisher(std::function<void(QAmqpClient *)> configure, QObject *parent = nullptr);
    ~StorePublisher() override;

    // Held until the broker answers.
    void publish(const QString &text);
    bool isHolding() const { return !held.isEmpty(); }
    // Texts not out this long after they were given are dropped: news that
    // late would mislead more than it tells. 0: held as long as it takes.
    void setExpiry(int ms) { expiryMs = ms; }
    // The owner lets go: what is held still goes out, then the publisher
    // closes and deletes itself (at once when nothing is held).
    void finish();

signals:
    void published(const QString &text);
    void expired(const QStringList &dropped);
    // The connection was lost; the client reconnects by itself.
    void connectionLost();

private:
    void connected();
    void declared(QAmqpExchange *exchange);
    void close();

    std::function<void(QAmqpClient *)> configure;
    QAmqpClient *client = nullptr;
    QStringList held;
    QTimer deadline;
    int expiryMs = 0;
    bool finishing = false;
};
