#pragma once

#include "qamqpcommand.h"

#include <amqp.h>

#include <QString>

// Opens a TLS socket of conn towards the settings' host and port: the broker's
// certificate must verify against settings.caFile and name the host. Returns
// the connected descriptor, owned by conn, or -1 with *error saying why.
// Blocks for the connection's time limit at most; nothing interrupts it.
int qamqpOpenTls(amqp_connection_state_t conn, const QAmqpSettings &settings, QString *error);
