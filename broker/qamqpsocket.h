#pragma once

#include <QString>

class QAmqpLink;

// The session's socket work that librabbitmq does not interrupt: both return
// early when the link is woken to stop.

// True when fd became ready; false on a wake-up or the timeout. A negative
// fd waits for the wake-up alone.
bool qamqpWaitFor(QAmqpLink &link, int fd, short events, int timeoutMs);

// A non-blocking connect to the link's host and port; the descriptor is then
// handed to librabbitmq. -1, with error set, when none could be opened.
int qamqpConnectSocket(QAmqpLink &link, QString *error);
