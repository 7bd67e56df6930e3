#include "TestAlarms.h"

#include "Clock.h"

namespace taviro {

TestAlarms::TestAlarms(ReportStore& store, const Clock& clock) : m_store(store), m_clock(clock) {}

void TestAlarms::addTestAlarm(ReceivedReport& report, const QString& functie,
                              const QString& omschrijving, int state, const QString& melderNaam,
                              const QString& melderNummer, const QDateTime& when)
{
    ReceivedLine line;
    line.functie = functie;
    line.omschrijving = omschrijving;
    line.flank = state;
    line.date = when;
    line.melderAlias = melderNummer;
    line.melderNaam = melderNaam;
    report.lines.append(line);
    if (report.melderAlias.isEmpty()) {
        report.melderAlias = melderNummer;
        report.melderNaam = melderNaam;
    }
}

Result<qint64> TestAlarms::makeTestAlarms(int transmitters, int alarms)
{
    ReceivedReport report;
    report.receivedAt = m_clock.now();
    for (int n = 1; n <= transmitters; ++n) {
        for (int i = 1; i <= alarms; ++i) {
            const QDateTime now = m_clock.now();
            if (n == 1 && i == 1)
                addTestAlarm(report, QStringLiteral("TestFunctie"),
                             QStringLiteral("TestOmschrijving"), 1,
                             QStringLiteral("Taviro Test Melder"), QStringLiteral("TestOSNr"), now);
            else
                addTestAlarm(report, QStringLiteral("TestFunctie%1").arg(i),
                             QStringLiteral("TestOmschrijving%1").arg(i), 1,
                             QStringLiteral("Taviro Test Melder %1").arg(n),
                             QStringLiteral("TestOSNr%1").arg(n), now);
        }
    }
    return m_store.store(report);
}

} // namespace taviro
