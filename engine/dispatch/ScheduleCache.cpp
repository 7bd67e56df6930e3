#include "ScheduleCache.h"

#include "Repositories.h"

namespace taviro {

Status ScheduleCache::load(const DatabaseConnector& conn)
{
    m_weeks.clear();
    m_years.clear();
    auto years = JaarPlanningRepository(conn).list(QStringLiteral("ORDER BY id"));
    if (!years)
        return Status::failure(years.error());
    for (const JaarPlanning& y : *years)
        m_years.insert(y.id, y);
    auto weeks = WeekPlanningRepository(conn).list(QStringLiteral("ORDER BY id"));
    if (!weeks)
        return Status::failure(weeks.error());
    for (const WeekPlanning& w : *weeks)
        m_weeks.insert(w.id, w);
    return {};
}

const WeekPlanning* ScheduleCache::week(qint64 id) const
{
    auto it = m_weeks.constFind(id);
    return it == m_weeks.constEnd() ? nullptr : &*it;
}

const JaarPlanning* ScheduleCache::year(qint64 id) const
{
    auto it = m_years.constFind(id);
    return it == m_years.constEnd() ? nullptr : &*it;
}

int ScheduleCache::activeBlockCount(qint64 weekId) const
{
    const WeekPlanning* w = week(weekId);
    if (!w)
        return 0;
    return w->Rij3Actief ? 3 : w->Rij2Actief ? 2 : 1;
}

} // namespace taviro
