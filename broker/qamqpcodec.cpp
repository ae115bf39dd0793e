#include "qamqpcodec.h"
#include "qamqpcodec_p.h"

#include <QDateTime>
#include <QVariantList>

#include <cstring>

static_assert(QAmqpMessage::ContentType == AMQP_BASIC_CONTENT_TYPE_FLAG
                  && QAmqpMessage::ContentEncoding == AMQP_BASIC_CONTENT_ENCODING_FLAG
                  && QAmqpMessage::Headers == AMQP_BASIC_HEADERS_FLAG
                  && QAmqpMessage::DeliveryMode == AMQP_BASIC_DELIVERY_MODE_FLAG
                  && QAmqpMessage::Priority == AMQP_BASIC_PRIORITY_FLAG
                  && QAmqpMessage::CorrelationId == AMQP_BASIC_CORRELATION_ID_FLAG
                  && QAmqpMessage::ReplyTo == AMQP_BASIC_REPLY_TO_FLAG
                  && QAmqpMessage::Expiration == AMQP_BASIC_EXPIRATION_FLAG
                  && QAmqpMessage::MessageId == AMQP_BASIC_MESSAGE_ID_FLAG
                  && QAmqpMessage::Timestamp == AMQP_BASIC_TIMESTAMP_FLAG
                  && QAmqpMessage::Type == AMQP_BASIC_TYPE_FLAG
                  && QAmqpMessage::UserId == AMQP_BASIC_USER_ID_FLAG
                  && QAmqpMessage::AppId == AMQP_BASIC_APP_ID_FLAG
                  && QAmqpMessage::ClusterID == AMQP_BASIC_CLUSTER_ID_FLAG,
              "message properties must be the flags of the basic class");

amqp_bytes_t qamqpBytes(const QByteArray &data)
{
    amqp_bytes_t bytes;
    bytes.len = size_t(data.size());
    bytes.bytes = const_cast<char *>(data.constData());
    return bytes;
}

QString qamqpText(amqp_bytes_t bytes)
{
    return QString::fromUtf8(static_cast<const char *>(bytes.bytes), int(bytes.len));
}

namespace {

QByteArray toByteArray(amqp_bytes_t bytes)
{
    if (bytes.len == 0)
        return QByteArray("");
    return QByteArray(static_cast<const char *>(bytes.bytes), int(bytes.len));
}

QVariant decodeValue(const amqp_field_value_t &field)
{
    switch (field.kind) {
    case AMQP_FIELD_KIND_BOOLEAN: return bool(field.value.boolean);
    case AMQP_FIELD_KIND_I8: return int(field.value.i8);
    case AMQP_FIELD_KIND_U8: return int(field.value.u8);
    case AMQP_FIELD_KIND_I16: return int(field.value.i16);
    case AMQP_FIELD_KIND_U16: return int(field.value.u16);
    case AMQP_FIELD_KIND_I32: return int(field.value.i32);
    case AMQP_FIELD_KIND_U32: return qlonglong(field.value.u32);
    case AMQP_FIELD_KIND_I64: return qlonglong(field.value.i64);
    case AMQP_FIELD_KIND_U64: return qulonglong(field.value.u64);
    case AMQP_FIELD_KIND_F32: return field.value.f32;
    case AMQP_FIELD_KIND_F64: return field.value.f64;
    case AMQP_FIELD_KIND_DECIMAL: {
        double value = field.value.decimal.value;
        for (int i = 0; i < field.value.decimal.decimals; ++i)
            value /= 10;
        return value;
    }
    case AMQP_FIELD_KIND_UTF8: return qamqpText(field.value.bytes);
    case AMQP_FIELD_KIND_BYTES: return toByteArray(field.value.bytes);
    case AMQP_FIELD_KIND_TIMESTAMP:
        return QDateTime::fromSecsSinceEpoch(qint64(field.value.u64), Qt::UTC);
    case AMQP_FIELD_KIND_TABLE: return QVariantHash(qamqpDecodeTable(field.value.table));
    case AMQP_FIELD_KIND_ARRAY: {
        QVariantList list;
        for (int i = 0; i < field.value.array.num_entries; ++i)
            list.append(decodeValue(field.value.array.entries[i]));
        return list;
    }
    default: return QVariant();
    }
}

// Owns the memory librabbitmq decodes into.
class Pool
{
public:
    Pool() { init_amqp_pool(&pool, 4096); }
    ~Pool() { empty_amqp_pool(&pool); }
    Pool(const Pool &) = delete;
    Pool &operator=(const Pool &) = delete;
    amqp_pool_t pool;
};

} // namespace

amqp_bytes_t QAmqpEncoder::bytes(const QByteArray &data)
{
    m_bytes.push_back(data);
    return qamqpBytes(m_bytes.back());
}

amqp_table_t QAmqpEncoder::table(const QVariantHash &hash)
{
    amqp_table_t table;
    table.num_entries = hash.size();
    table.entries = nullptr;
    if (hash.isEmpty())
        return table;
    m_entries.emplace_back(size_t(hash.size()));
    std::vector<amqp_table_entry_t> &entries = m_entries.back();
    size_t i = 0;
    for (auto it = hash.constBegin(); it != hash.constEnd(); ++it, ++i) {
        entries[i].key = bytes(it.key().toUtf8());
        entries[i].value = value(it.value());
    }
    table.entries = entries.data();
    return table;
}

amqp_field_value_t QAmqpEncoder::value(const QVariant &variant)
{
    amqp_field_value_t field;
    std::memset(&field, 0, sizeof field);
    const int type = variant.userType();
    if (type == qMetaTypeId<QAmqpTable>()) {
        field.kind = AMQP_FIELD_KIND_TABLE;
        field.value.table = table(variant.value<QAmqpTable>());
        return field;
    }
    switch (type) {
    case QMetaType::UnknownType:
        field.kind = AMQP_FIELD_KIND_VOID;
        break;
    case QMetaType::Bool:
        field.kind = AMQP_FIELD_KIND_BOOLEAN;
        field.value.boolean = variant.toBool();
        break;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        field.kind = AMQP_FIELD_KIND_I32;
        field.value.i32 = variant.toInt();
        break;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        field.kind = AMQP_FIELD_KIND_I64;
        field.value.i64 = variant.toLongLong();
        break;
    case QMetaType::ULongLong:
        field.kind = AMQP_FIELD_KIND_U64;
        field.value.u64 = variant.toULongLong();
        break;
    case QMetaType::Float:
        field.kind = AMQP_FIELD_KIND_F32;
        field.value.f32 = variant.toFloat();
        break;
    case QMetaType::Double:
        field.kind = AMQP_FIELD_KIND_F64;
        field.value.f64 = variant.toDouble();
        break;
    case QMetaType::QByteArray:
        field.kind = AMQP_FIELD_KIND_BYTES;
        field.value.bytes = bytes(variant.toByteArray());
        break;
    case QMetaType::QDateTime:
        field.kind = AMQP_FIELD_KIND_TIMESTAMP;
        field.value.u64 = quint64(variant.toDateTime().toSecsSinceEpoch());
        break;
    case QMetaType::QVariantHash:
        field.kind = AMQP_FIELD_KIND_TABLE;
        field.value.table = table(variant.toHash());
        break;
    case QMetaType::QVariantMap: {
        const QVariantMap map = variant.toMap();
        QVariantHash hash;
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            hash.insert(it.key(), it.value());
        field.kind = AMQP_FIELD_KIND_TABLE;
        field.value.table = table(hash);
        break;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        const QVariantList list = variant.toList();
        m_values.emplace_back();
        std::vector<amqp_field_value_t> &values = m_values.back();
        for (const QVariant &item : list)
            values.push_back(value(item));
        field.kind = AMQP_FIELD_KIND_ARRAY;
        field.value.array.num_entries = int(values.size());
        field.value.array.entries = values.empty() ? nullptr : values.data();
        break;
    }
    default:
        field.kind = AMQP_FIELD_KIND_UTF8;
        field.value.bytes = bytes(variant.toString().toUtf8());
        break;
    }
    return field;
}

amqp_basic_properties_t QAmqpEncoder::properties(const QAmqpMessage::PropertyHash &hash)
{
    amqp_basic_properties_t p;
    std::memset(&p, 0, sizeof p);
    for (auto it = hash.constBegin(); it != hash.constEnd(); ++it) {
        const QVariant &v = it.value();
        const auto text = [&] { return bytes(v.toString().toUtf8()); };
        switch (it.key()) {
        case QAmqpMessage::ContentType: p.content_type = text(); break;
        case QAmqpMessage::ContentEncoding: p.content_encoding = text(); break;
        case QAmqpMessage::Headers:
            p.headers = table(v.userType() == qMetaTypeId<QAmqpTable>() ? QVariantHash(v.value<QAmqpTable>())
                                                                         : v.toHash());
            break;
        case QAmqpMessage::DeliveryMode: p.delivery_mode = uint8_t(v.toUInt()); break;
        case QAmqpMessage::Priority: p.priority = uint8_t(v.toUInt()); break;
        case QAmqpMessage::CorrelationId: p.correlation_id = text(); break;
        case QAmqpMessage::ReplyTo: p.reply_to = text(); break;
        case QAmqpMessage::Expiration: p.expiration = text(); break;
        case QAmqpMessage::MessageId: p.message_id = text(); break;
        case QAmqpMessage::Timestamp:
            p.timestamp = v.userType() == QMetaType::QDateTime ? quint64(v.toDateTime().toSecsSinceEpoch())
                                                               : v.toULongLong();
            break;
        case QAmqpMessage::Type: p.type = text(); break;
        case QAmqpMessage::UserId: p.user_id = text(); break;
        case QAmqpMessage::AppId: p.app_id = text(); break;
        case QAmqpMessage::ClusterID: p.cluster_id = text(); break;
        default: continue;
        }
        p._flags |= amqp_flags_t(it.key());
    }
    return p;
}

QAmqpTable qamqpDecodeTable(const amqp_table_t &table)
{
    QAmqpTable hash;
    for (int i = 0; i < table.num_entries; ++i)
        hash.insert(qamqpText(table.entries[i].key), decodeValue(table.entries[i].value));
    return hash;
}

QAmqpMessage::PropertyHash qamqpDecodeProperties(const amqp_basic_properties_t &p)
{
    QAmqpMessage::PropertyHash hash;
    const auto text = [&](QAmqpMessage::Property property, amqp_bytes_t value) {
        if (p._flags & amqp_flags_t(property))
            hash.insert(property, qamqpText(value));
    };
    text(QAmqpMessage::ContentType, p.content_type);
    text(QAmqpMessage::ContentEncoding, p.content_encoding);
    if (p._flags & AMQP_BASIC_HEADERS_FLAG)
        hash.insert(QAmqpMessage::Headers, QVariant::fromValue(qamqpDecodeTable(p.headers)));
    if (p._flags & AMQP_BASIC_DELIVERY_MODE_FLAG)
        hash.insert(QAmqpMessage::DeliveryMode, int(p.delivery_mode));
    if (p._flags & AMQP_BASIC_PRIORITY_FLAG)
        hash.insert(QAmqpMessage::Priority, int(p.priority));
    text(QAmqpMessage::CorrelationId, p.correlation_id);
    text(QAmqpMessage::ReplyTo, p.reply_to);
    text(QAmqpMessage::Expiration, p.expiration);
    text(QAmqpMessage::MessageId, p.message_id);
    if (p._flags & AMQP_BASIC_TIMESTAMP_FLAG)
        hash.insert(QAmqpMessage::Timestamp, QDateTime::fromSecsSinceEpoch(qint64(p.timestamp), Qt::UTC));
    text(QAmqpMessage::Type, p.type);
    text(QAmqpMessage::UserId, p.user_id);
    text(QAmqpMessage::AppId, p.app_id);
    text(QAmqpMessage::ClusterID, p.cluster_id);
    return hash;
}

// A frame is at most this large on the connections we open.
constexpr int WireLimit = AMQP_DEFAULT_FRAME_SIZE;

QByteArray qamqpEncodeTable(const QAmqpTable &table)
{
    QAmqpEncoder encoder;
    amqp_table_t encoded = encoder.table(table);
    QByteArray wire(WireLimit, Qt::Uninitialized);
    size_t offset = 0;
    if (amqp_encode_table(qamqpBytes(wire), &encoded, &offset) != AMQP_STATUS_OK)
        return QByteArray();
    wire.truncate(int(offset));
    return wire;
}

bool qamqpDecodeTable(const QByteArray &wire, QAmqpTable *table)
{
    Pool pool;
    amqp_table_t decoded;
    size_t offset = 0;
    if (amqp_decode_table(qamqpBytes(wire), &pool.pool, &decoded, &offset) != AMQP_STATUS_OK
        || offset != size_t(wire.size()))
        return false;
    *table = qamqpDecodeTable(decoded);
    return true;
}

int qamqpEncodeProperties(amqp_basic_properties_t *properties, QByteArray *buffer)
{
    if (buffer->size() < WireLimit)
        buffer->resize(WireLimit);
    const int size = amqp_encode_properties(AMQP_BASIC_CLASS, properties, qamqpBytes(*buffer));
    return size < 0 ? -1 : size;
}

QByteArray qamqpEncodeProperties(const QAmqpMessage::PropertyHash &properties)
{
    QAmqpEncoder encoder;
    amqp_basic_properties_t encoded = encoder.properties(properties);
    QByteArray wire;
    const int size = qamqpEncodeProperties(&encoded, &wire);
    if (size < 0)
        return QByteArray();
    wire.truncate(size);
    return wire;
}

bool qamqpDecodeProperties(const QByteArray &wire, QAmqpMessage::PropertyHash *properties)
{
    Pool pool;
    void *decoded = nullptr;
    if (wire.isEmpty() || amqp_decode_properties(AMQP_BASIC_CLASS, &pool.pool, qamqpBytes(wire), &decoded) != AMQP_STATUS_OK)
        return false;
    *properties = qamqpDecodeProperties(*static_cast<const amqp_basic_properties_t *>(decoded));
    return true;
}
