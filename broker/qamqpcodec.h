#pragma once

#include "qamqpmessage.h"
#include "qamqptable.h"

#include <QByteArray>

// Field tables and basic-class properties in their wire form. The connection
// uses the same conversions on the structures of librabbitmq; these give the
// bytes, so that they can be checked without a broker.
QByteArray qamqpEncodeTable(const QAmqpTable &table);
bool qamqpDecodeTable(const QByteArray &wire, QAmqpTable *table);
QByteArray qamqpEncodeProperties(const QAmqpMessage::PropertyHash &properties);
bool qamqpDecodeProperties(const QByteArray &wire, QAmqpMessage::PropertyHash *properties);
