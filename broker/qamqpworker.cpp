#include "qamqpworker.h"
#include "qamqplink.h"
#include "qamqpsession.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

namespace {

constexpr int MaxRetryDelaySeconds = 30;
// A connection that lasted less than this does not reset the retry delay:
// a broker that accepts the login and then closes is not hit every second.
constexpr auto StableConnection = std::chrono::seconds(30);

// Numbers every connection of the process, so that no two ever share one.
std::atomic<quint64> lastEpoch{0};

bool sleepUnlessStopped(QAmqpLink &link, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        link.drainWake();
        if (link.isStopping())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return true;
        pollfd fd;
        fd.fd = link.wakeFd();
        fd.events = POLLIN;
        fd.revents = 0;
        ::poll(&fd, 1, int(left));
    }
}

void run(QAmqpLink &link)
{
    int delay = 0;
    while (!link.isStopping()) {
        QAmqpEvent event;
        event.epoch = ++lastEpoch;
        QAmqpSession session(link, event.epoch);
        if (session.open(&event.text)) {
            const auto since = std::chrono::steady_clock::now();
            QAmqpEvent connected;
            connected.kind = QAmqpEvent::Connected;
            connected.epoch = event.epoch;
            connected.number = session.channelMax();
            link.post(std::move(connected));
            event.text = session.serve();
            if (event.text.isNull()) {   // asked to stop
                session.close(true);
                break;
            }
            session.close(false);
            if (std::chrono::steady_clock::now() - since >= StableConnection)
                delay = 0;
            event.kind = QAmqpEvent::Lost;
        } else {
            if (link.isStopping())
                break;
            event.kind = QAmqpEvent::AttemptFailed;
        }
        // Decided before the client hears of the failure, so that a
        // connectToHost() from its slot knows this worker is done.
        int firstDelay = 1;
        const bool again = link.retry(&firstDelay);
        link.post(std::move(event));
        if (!again)
            break;
        delay = delay == 0 ? firstDelay : std::min(delay * 2, std::max(firstDelay, MaxRetryDelaySeconds));
        if (!sleepUnlessStopped(link, delay * 1000))
            break;
    }
    const int dropped = link.finish();
    if (dropped > 0)
        link.log(QStringLiteral("QAmqpClient: %1 message(s) not published: connection closed").arg(dropped));
    QAmqpEvent finished;
    finished.kind = QAmqpEvent::Finished;
    link.post(std::move(finished));
}

} // namespace

bool qamqpStartWorker(const std::shared_ptr<QAmqpLink> &link)
{
    if (!link->isValid())
        return false;
    try {
        std::thread([link] { run(*link); }).detach();
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}
