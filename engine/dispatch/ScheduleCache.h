#pragma once

#include "Result.h"
#include "Rows.h"

#include <QHash>

namespace taviro {

class DatabaseConnector;

// The week and year schedules in memory. Duty resolution runs for every line
// of every report, so it reads schedules from here, never from the tables.
// Deleted schedules are kept: old references from transmitters and points
// still resolve. The editors reload the cache after saving; nothing else does.
class ScheduleCache
{
public:
    // loadPlanningCache: empties and refills both collections.
    Status load(const DatabaseConnector& conn);

    const WeekPlanning* week(qint64 id) const;
    const JaarPlanning* year(qint64 id) const;
    int weekCount() const { return int(m_weeks.size()); }
    int yearCount() const { return int(m_years.size()); }

    // Blocks of the day in use: 3 with Rij3Actief, else 2 with Rij2Actief, else 1;
    // 0 for a schedule that does not exist.
    int activeBlockCount(qint64 weekId) const;

private:
    QHash<qint64, WeekPlanning> m_weeks;
    QHash<qint64, JaarPlanning> m_years;
};

} // namespace taviro
