#include "ScheduleCache.h"

#include "EventLog.h"
#include "Repositories.h"

namespace taviro {

Status ScheduleCache::load(const DatabaseConnector& conn)
{
    m_weeks.clear();
    m_years.clear();
    m_starts.clear();
    m_problems.clear();
    auto years = JaarPlanningRepository(conn).list(QStringLiteral("ORDER BY id"));
    if (!years)
        return Status::failure(years.error());
    for (const JaarPlanning& y : *years)
        m_years.insert(y.id, y);
    auto weeks = WeekPlanningRepository(conn).list(QStringLiteral("ORDER BY id"));
    if (!weeks)
        return Status::failure(weeks.error());
    for (const WeekPlanning& w : *weeks) {
        m_weeks.insert(w.id, w);
        BlockStarts starts;
        const QString* texts[] = {&w.time1, &w.time2, &w.time3};
        for (int block = 0; block < 3; ++block) {
            starts[block] = DutyTime::read(*texts[block]);
            if (!starts[block])
                m_problems.append(
                    QStringLiteral("Weekrooster %1 (%2): begintijd \"%3\" van blok %4 is "
                                   "geen tijd; dit blok wordt overgeslagen")
                        .arg(w.id)
                        .arg(w.alias, *texts[block])
                        .arg(block + 1));
        }
        m_starts.insert(w.id, starts);
    }
    return {};
}

Status ScheduleCache::load(const DatabaseConnector& conn, EventLog& log)
{
    const QStringList known = m_problems;
    const Status s = load(conn);
    for (const QString& problem : std::as_const(m_problems))
        if (!known.contains(problem))
            log.writeLog(problem, 0);
    return s;
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

const ScheduleCache::BlockStarts* ScheduleCache::blockStarts(qint64 weekId) const
{
    auto it = m_starts.constFind(weekId);
    return it == m_starts.constEnd() ? nullptr : &*it;
}

int ScheduleCache::activeBlockCount(qint64 weekId) const
{
    const WeekPlanning* w = week(weekId);
    if (!w)
        return 0;
    return w->Rij3Actief ? 3 : w->Rij2Actief ? 2 : 1;
}

} // namespace taviro
