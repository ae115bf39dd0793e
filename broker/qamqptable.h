#pragma once

#include <QMetaType>
#include <QVariantHash>

// An AMQP field table: argument tables of declarations and message headers.
// Values may be bool, integers, double, QString, QByteArray, QDateTime,
// QVariantList and nested tables.
class QAmqpTable : public QVariantHash
{
public:
    QAmqpTable() = default;
    QAmqpTable(const QVariantHash &other) : QVariantHash(other) {}
};

Q_DECLARE_METATYPE(QAmqpTable)
