#pragma once

#include "qamqpcommand.h"

#include <QObject>
#include <QString>

#include <vector>

class QAmqpClient;
class QAmqpClientPrivate;

// Base of exchanges and queues: one AMQP channel of a client's connection.
// A channel belongs to the connection that was open when it was created (or
// to the next one, if none was open). When that connection is lost, or the
// broker closes the channel, it closes for good: create a new one.
class QAmqpChannel : public QObject
{
    Q_OBJECT

public:
    ~QAmqpChannel() override;

    QString name() const { return m_name; }
    int channelNumber() const { return m_number; }
    bool isOpen() const { return m_open; }

signals:
    void opened();
    void closed();

protected:
    QAmqpChannel(const QString &name, int channelNumber, QAmqpClient *client);

    // Sends the operation once the channel is open on the broker, or logs why
    // it cannot be sent any more.
    void submit(QAmqpCommand::Operation &&operation);
    void setName(const QString &name) { m_name = name; }
    bool isClosedForGood() const { return m_dead; }

private:
    friend class QAmqpClient;
    friend class QAmqpClientPrivate;

    QAmqpClient *m_client;
    QString m_name;
    int m_number;
    quint64 m_id;          // unique within the client, unlike numbers
    quint64 m_epoch = 0;   // connection it lives on; 0 until one opens
    bool m_open = false;
    bool m_dead = false;   // its connection or the channel itself is gone
    std::vector<QAmqpCommand> m_pending;   // made before the connection opened
};
