#pragma once

#include "qamqpclient.h"
#include "qamqpcommand.h"

#include <QList>

#include <memory>

class QAmqpChannel;
class QAmqpLink;

class QAmqpClientPrivate
{
public:
    explicit QAmqpClientPrivate(QAmqpClient *client) : q(client) {}

    void startWorker();
    // Lets the worker go: it stops on its own, and nothing it does reaches
    // this client any more.
    void releaseWorker();
    void send(QAmqpCommand &&command);

    void openChannel(QAmqpChannel *channel);
    void channelDestroyed(QAmqpChannel *channel);
    QAmqpChannel *findChannel(quint64 id) const;
    // Marks the channels of the current connection closed for good and
    // emits their closed(). False if the client was deleted meanwhile.
    bool closeChannels();

    // Returns false when a slot deleted the client.
    bool handle(QAmqpEvent &event);

    QAmqpClient *q;
    QAmqpSettings settings;
    bool autoReconnect = false;
    int firstRetryDelay = 1;

    std::shared_ptr<QAmqpLink> link;
    bool connected = false;
    quint64 epoch = 0;
    int channelMax = 0xffff;
    quint64 lastChannelId = 0;
    QList<QAmqpChannel *> channels;
};
