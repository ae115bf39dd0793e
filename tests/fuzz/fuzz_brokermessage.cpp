#include "brokermessage.h"
#include "fuzz.h"

// A payload as the receiver takes it, through to what the tick decides.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray payload = fuzzBytes(data, size);
    const QString text = BrokerMessage::textOfPayload(payload);
    FUZZ_CHECK(text == QString::fromUtf8(payload.constData(), int(qstrnlen(payload.constData(), uint(size)))));
    const BrokerMessage m(text);
    const BrokerMessage::Type type = m.type();
    // The kind alone names the type; a store matches only through field 1.
    FUZZ_CHECK(BrokerMessage(m.kind()).type() == type);
    FUZZ_CHECK(m.isForStore(m.store()) == (m.fieldCount() >= 2) && !m.isForStore(m.store() ^ 1));
    FUZZ_CHECK(m.isFor(m.kind(), m.store()) == m.isForStore(m.store()));
    // Only order kinds name an order, and only status changes close a dialog.
    FUZZ_CHECK(!m.carriesOrder() || (type <= BrokerMessage::OrderStatus && m.fieldCount() >= 4));
    FUZZ_CHECK(!m.changesOrder() || (type != BrokerMessage::NewOrder && type <= BrokerMessage::OrderStatus));
    // The console's own echo of that order closes the same dialog.
    const BrokerMessage echo(BrokerMessage::orderStatus(m.store(), m.order(), 1));
    FUZZ_CHECK(echo.changesOrder() && echo.carriesOrder() && echo.store() == m.store() && echo.order() == m.order());
    return 0;
}
