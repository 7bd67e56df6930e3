#pragma once

#include "DutySlots.h"
#include "Result.h"

#include <QDateTime>
#include <QList>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;

// Controllers that must check in once a day on a 24-hour point. A point whose
// last check-in is more than 1.083 days ago (a little slack over a day, so a
// controller that reports at a slightly later time each day is not flagged)
// is marked late and gets a report of its own, which the console takes in and
// forwards like any alarm. A late point is not examined again until a
// check-in clears `tolate`. The room checks once per quarter-hour mark, by
// whichever workstation takes the mark first.
class Watchdog
{
public:
    static constexpr qint64 kLimitMsecs = qint64(1.083 * 24 * 3600 * 1000);

    Watchdog(const DatabaseConnector& conn, const Clock& clock, EventLog& log);
    void setWorkstation(const Workstation& self) { m_slots.setWorkstation(self); }

    // The check of the current quarter-hour mark, unless the room did it
    // already. Returns the keys of the late reports stored.
    QList<qint64> check24uurs();
    // One report with one line for the point. The line is stored as an
    // ordinary (not 24-hour) line so the list, the detail view and dispatch
    // creation take it like an alarm. Marking the point late is part of the
    // same transaction, so a point is never late without its report. Nothing
    // (0) when the point checked in or was reported meanwhile.
    qint64 createLateReport(qint64 melderId, qint64 alarmId);

private:
    // Within the caller's transaction; 0 and no failure when there is
    // nothing to report after all.
    Result<qint64> lateReportIn(qint64 melderId, qint64 alarmId, const QDateTime& now);
    static bool isLate(const QDateTime& lastCheckIn, const QDateTime& now);

    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    DutySlots m_slots;
};

} // namespace taviro
