#pragma once

#include "qamqpcommand.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <deque>
#include <mutex>
#include <vector>

// What a client and its worker thread share: commands one way, events the
// other, and what lets either side stop the other. The worker holds it for as
// long as it runs, so a client can let go at any moment without waiting.
class QAmqpLink
{
public:
    QAmqpLink(const QAmqpSettings &settings, QObject *receiver, bool autoReconnect, int firstRetryDelay);
    ~QAmqpLink();
    QAmqpLink(const QAmqpLink &) = delete;
    QAmqpLink &operator=(const QAmqpLink &) = delete;

    const QAmqpSettings &settings() const { return m_settings; }   // fixed for its life
    bool isValid() const { return m_wakeFd >= 0; }
    static int eventType();

    // Client side.
    // False once the worker has ended: the command will never go out.
    bool push(QAmqpCommand &&command);
    // Up to max events, oldest first; posts a new wake-up to the receiver if
    // more remain.
    std::vector<QAmqpEvent> takeEvents(size_t max);
    void setRetry(bool autoReconnect, int firstRetryDelay);
    // Nothing reaches the client any more and the worker stops. Returns the
    // publications it will not send (none while open: it sends them first).
    int release(bool connectionOpen);
    // True once the worker decided not to connect again.
    bool isEnding() const;
    // Cuts the socket of a worker stuck in a send, or in its goodbye after a
    // release. Called periodically from the client's thread.
    void cutIfStuck();

    // Worker side.
    // Moves the waiting commands into commands; false once asked to stop.
    bool take(std::deque<QAmqpCommand> *commands);
    bool hasCommands() const;
    bool isStopping() const;
    void post(QAmqpEvent &&event);
    // To the client, or straight to the debug log once it let go.
    void log(const QString &text);
    // False while the client leaves too many events untaken: the worker then
    // stops reading and the broker holds the rest.
    bool mayRead() const;
    // Whether to try again after a failure, and the first delay; when not,
    // the worker ends from now on.
    bool retry(int *firstDelay);
    // Takes whatever was never executed: the worker is ending. Returns the
    // publications among it.
    int finish();
    // The socket a stop or a stuck send may cut. False when already stopping.
    bool setSocket(int fd, bool loggedIn);
    // Marks the start of work that may send, and its end.
    void beginSend();
    void endSend();
    bool wasCut() const;
    int wakeFd() const { return m_wakeFd; }
    void drainWake();

private:
    void wake();

    const QAmqpSettings m_settings;
    const int m_wakeFd;   // eventfd; lives as long as the link

    mutable std::mutex m_mutex;
    std::deque<QAmqpCommand> m_commands;
    std::deque<QAmqpEvent> m_events;
    QObject *m_receiver;              // null once the client let go
    bool m_eventPosted = false;
    bool m_readHeld = false;
    bool m_stopping = false;
    bool m_ending = false;
    bool m_finished = false;
    bool m_autoReconnect;
    int m_firstRetryDelay;            // seconds
    int m_socketFd = -1;
    bool m_loggedIn = false;
    bool m_cut = false;
    // Milliseconds of a steady clock; 0 when not sending. Written around every
    // send, so not under the mutex.
    std::atomic<qint64> m_sendingSince{0};
    qint64 m_releasedAt = 0;
};

// Publications among a list of commands.
template <typename List>
int qamqpCountPublications(const List &commands)
{
    int n = 0;
    for (const QAmqpCommand &command : commands)
        n += command.publication() ? 1 : 0;
    return n;
}
