#pragma once

#include "ReportStore.h"

namespace taviro {

class Clock;

// Test reports let an installer try the whole chain (list, dispatch, SMS,
// e-mail) without a real alarm: they are stored as if test transmitters had
// reported, then taken in like any report.
class TestAlarms
{
public:
    TestAlarms(ReportStore& store, const Clock& clock);

    // One report holding `alarms` lines for each of `transmitters` test
    // transmitters. Returns the report's key.
    Result<qint64> makeTestAlarms(int transmitters, int alarms);

    // Adds one line to the report under construction; the first line names
    // the report's own transmitter.
    static void addTestAlarm(ReceivedReport& report, const QString& functie,
                             const QString& omschrijving, int state, const QString& melderNaam,
                             const QString& melderNummer, const QDateTime& when);

private:
    ReportStore& m_store;
    const Clock& m_clock;
};

} // namespace taviro
