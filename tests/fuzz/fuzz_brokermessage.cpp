#include "brokermessage.h"
#include "fuzz.h"

// A payload as the receiver takes it, through to what the tick decides.
void fuzzOne(const QByteArray &payload, FuzzedDataProvider &)
{
    const BrokerMessage m(BrokerMessage::textOfPayload(payload));
    FUZZ_CHECK(m.kind() == QString::fromUtf8(payload.split('\0').first()).section(QLatin1Char(':'), 0, 0));
    // The kind alone names the type; a store matches only through field 1.
    FUZZ_CHECK(BrokerMessage(m.kind()).type() == m.type() && m.isFor(m.kind(), m.store()) == m.isForStore(m.store()));
    FUZZ_CHECK(m.isForStore(m.store()) == (m.fieldCount() >= 2) && !m.isForStore(m.store() ^ 1));
    // Only order kinds name an order, only status changes close a dialog,
    // and the console's own echo of that order closes the same one.
    FUZZ_CHECK(!m.carriesOrder() || (m.type() <= BrokerMessage::OrderStatus && m.fieldCount() >= 4));
    FUZZ_CHECK(!m.changesOrder() || (m.type() != BrokerMessage::NewOrder && m.type() <= BrokerMessage::OrderStatus));
    const BrokerMessage echo(BrokerMessage::orderStatus(m.store(), m.order(), 1));
    FUZZ_CHECK(echo.changesOrder() && echo.carriesOrder() && echo.store() == m.store() && echo.order() == m.order());
}
