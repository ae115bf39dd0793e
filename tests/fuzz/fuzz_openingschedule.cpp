#include "fuzz.h"
#include "openingschedule.h"

// Any texts of the schedule's columns on any day, under Brazil's former summer
// time whose clocks skipped midnight.
void fuzzOne(const QByteArray &, FuzzedDataProvider &in)
{
    [[maybe_unused]] static const bool summerTime = qputenv("TZ", "<-03>3<-02>,M10.3.0/0,M2.3.0/0");
    const QDate day = QDate::fromJulianDay(in.ConsumeIntegralInRange(2451545, 2488070));   // 2000 to 2100
    const QString inicio = fuzzText(in, 12), fim = fuzzText(in, 12);
    const OpeningPeriod p = OpeningPeriod::onDay(day, inicio, fim);
    // Times that read as times make a period, whatever the clocks do that day.
    const bool times = QTime::fromString(inicio, QStringLiteral("h:mm")).isValid() && QTime::fromString(fim, QStringLiteral("h:mm")).isValid();
    FUZZ_CHECK(!times || (p.opening.isValid() && p.closing.isValid()));
    // It opens on its day, lasts at most a day and the hour the clocks went
    // back, and holds its opening (unless empty), never its closing.
    FUZZ_CHECK(!p.opening.isValid() || !p.closing.isValid() || (p.opening.date() == day && p.opening.secsTo(p.closing) < 86400 + 3600
               && p.contains(p.opening) == (p.opening < p.closing) && !p.contains(p.closing)));
}
