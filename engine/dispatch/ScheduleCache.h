#pragma once

#include "DutyTime.h"
#include "Result.h"
#include "Rows.h"

#include <QHash>
#include <QStringList>

#include <array>
#include <optional>

namespace taviro {

class DatabaseConnector;
class EventLog;

// The week and year schedules in memory. Duty resolution runs for every line
// of every report, so it reads schedules from here, never from the tables.
// Deleted schedules are kept: old references from transmitters and points
// still resolve. The editors reload the cache after saving; every other
// station notices the save by the schedules' change counter and reloads
// before its next intake (reloadIfChanged).
class ScheduleCache
{
public:
    // The starts of blocks 0..2 of a week schedule, read once at load. A
    // start that is no time is empty: that block is left out.
    using BlockStarts = std::array<std::optional<DutyTime>, 3>;

    // loadPlanningCache: empties and refills both collections.
    Status load(const DatabaseConnector& conn);
    // The same, writing to the event log every unreadable block start that
    // the previous load did not already find.
    Status load(const DatabaseConnector& conn, EventLog& log);

    // Reloads when the schedules' change counter moved since the last load
    // (a save at any station), or when the counter could not be read then;
    // one small read otherwise. A failed load keeps the schedules in use.
    // True when it reloaded.
    bool reloadIfChanged(const DatabaseConnector& conn, EventLog& log);

    const WeekPlanning* week(qint64 id) const;
    const JaarPlanning* year(qint64 id) const;
    int weekCount() const { return int(m_weeks.size()); }
    int yearCount() const { return int(m_years.size()); }

    // Blocks of the day in use: 3 with Rij3Actief, else 2 with Rij2Actief, else 1;
    // 0 for a schedule that does not exist.
    int activeBlockCount(qint64 weekId) const;
    const BlockStarts* blockStarts(qint64 weekId) const;
    // One line per unreadable block start found by the last load, for the
    // event log: the cache is loaded at start-up and after each schedule
    // save, so each is logged once, not for every report it touches.
    const QStringList& problems() const { return m_problems; }

private:
    QHash<qint64, WeekPlanning> m_weeks;
    QHash<qint64, JaarPlanning> m_years;
    QHash<qint64, BlockStarts> m_starts;
    QStringList m_problems;
    // The change counter as read just before the last load; empty until a
    // load succeeded, so a failed load is tried again at the next check.
    std::optional<qint64> m_counter;
    bool m_counterUnreadable = false; // logged once until it reads again
};

} // namespace taviro
