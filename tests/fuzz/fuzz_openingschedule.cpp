#include "fuzz.h"
#include "openingschedule.h"

// Any texts of the schedule's columns, on any day, at any moment of it or the next.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Brazil's former summer time, whose clocks skipped midnight.
    [[maybe_unused]] static const bool summerTime = qputenv("TZ", "<-03>3<-02>,M10.3.0/0,M2.3.0/0");
    FuzzedDataProvider in(data, size);
    const QDate day = QDate::fromJulianDay(in.ConsumeIntegralInRange(2451545, 2488070));   // 2000 to 2100
    const QString inicio = fuzzText(in, 12), fim = fuzzText(in, 12);
    const OpeningPeriod p = OpeningPeriod::onDay(day, inicio, fim);
    // Times that read as times make a period, whatever the clocks do that day.
    const QString format = QStringLiteral("h:mm");
    FUZZ_CHECK(!QTime::fromString(inicio, format).isValid() || !QTime::fromString(fim, format).isValid() || p.closing.isValid());
    FUZZ_CHECK(!QTime::fromString(inicio, format).isValid() || p.opening.isValid());
    if (!p.opening.isValid() || !p.closing.isValid())
        return 0;
    // It opens on its day, lasts at most a day and an hour the clocks went
    // back, and holds its opening (unless empty), never its closing.
    FUZZ_CHECK(p.opening.date() == day && p.opening.secsTo(p.closing) < 86400 + 3600);
    FUZZ_CHECK(p.contains(p.opening) == (p.opening < p.closing) && !p.contains(p.closing));
    return 0;
}
