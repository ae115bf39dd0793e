#pragma once

#include <memory>

class QAmqpLink;

// Starts the worker thread of a link. It runs detached: it connects, serves
// the commands, reconnects while asked to, and ends by itself once the
// client lets go. False when no thread could be started.
bool qamqpStartWorker(const std::shared_ptr<QAmqpLink> &link);
