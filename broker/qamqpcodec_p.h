#pragma once

#include "qamqpmessage.h"
#include "qamqptable.h"

#include <amqp.h>
#include <amqp_framing.h>

#include <list>
#include <vector>

amqp_bytes_t qamqpBytes(const QByteArray &data);
QString qamqpText(amqp_bytes_t bytes);

// Builds librabbitmq structures from Qt values and keeps their memory alive
// for as long as it lives.
class QAmqpEncoder
{
public:
    amqp_table_t table(const QVariantHash &hash);
    amqp_field_value_t value(const QVariant &variant);
    amqp_basic_properties_t properties(const QAmqpMessage::PropertyHash &hash);
    amqp_bytes_t bytes(const QByteArray &data);

private:
    // Lists, so that what was handed out never moves.
    std::list<QByteArray> m_bytes;
    std::list<std::vector<amqp_table_entry_t>> m_entries;
    std::list<std::vector<amqp_field_value_t>> m_values;
};

// The wire size of properties, encoded into buffer (grown to a frame once);
// -1 when they do not fit in a frame.
int qamqpEncodeProperties(amqp_basic_properties_t *properties, QByteArray *buffer);
QAmqpTable qamqpDecodeTable(const amqp_table_t &table);
QAmqpMessage::PropertyHash qamqpDecodeProperties(const amqp_basic_properties_t &properties);
