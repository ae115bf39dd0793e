#include "qamqpsocket.h"
#include "qamqplink.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
constexpr int ConnectTimeoutMs = 10000;
}

bool qamqpWaitFor(QAmqpLink &link, int fd, short events, int timeoutMs)
{
    pollfd fds[2];
    fds[0].fd = fd;
    fds[0].events = events;
    fds[0].revents = 0;
    fds[1].fd = link.wakeFd();
    fds[1].events = POLLIN;
    fds[1].revents = 0;
    int n;
    do {
        n = ::poll(fds, 2, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0 && fds[0].revents != 0;
}

int qamqpConnectSocket(QAmqpLink &link, QString *error)
{
    const QAmqpSettings &s = link.settings();
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *addresses = nullptr;
    const QByteArray port = QByteArray::number(s.port);
    const int rc = ::getaddrinfo(s.host.constData(), port.constData(), &hints, &addresses);
    if (rc != 0) {
        *error = QStringLiteral("cannot resolve %1: %2").arg(QString::fromUtf8(s.host), QString::fromUtf8(gai_strerror(rc)));
        return -1;
    }
    int result = -1;
    *error = QStringLiteral("no address for %1").arg(QString::fromUtf8(s.host));
    for (addrinfo *ai = addresses; ai && result < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        if (!link.setSocket(fd, false)) {
            ::close(fd);
            break;
        }
        int err = 0;
        if (::connect(fd, ai->ai_addr, ai->ai_addrlen) < 0) {
            err = errno;
            if (err == EINPROGRESS) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ConnectTimeoutMs);
                err = ETIMEDOUT;
                for (;;) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                          deadline - std::chrono::steady_clock::now()).count();
                    if (left <= 0)
                        break;
                    if (qamqpWaitFor(link, fd, POLLOUT, int(left))) {
                        socklen_t len = sizeof err;
                        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0)
                            err = errno;
                        break;
                    }
                    link.drainWake();
                    if (link.isStopping()) {
                        err = ECANCELED;
                        break;
                    }
                }
            }
        }
        if (err == 0) {
            result = fd;
        } else {
            link.setSocket(-1, false);
            ::close(fd);
            *error = QString::fromLocal8Bit(std::strerror(err));
        }
    }
    ::freeaddrinfo(addresses);
    if (result >= 0) {
        const int one = 1;
        ::setsockopt(result, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(result, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    }
    return result;
}

