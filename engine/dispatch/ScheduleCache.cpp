#include "ScheduleCache.h"

#include "ChangeCounter.h"
#include "EventLog.h"
#include "Repositories.h"

namespace taviro {

Status ScheduleCache::load(const DatabaseConnector& conn)
{
    // Read before the tables: a save that commits in between makes the next
    // check reload once more, never leaves it unnoticed.
    // Without it (a database no current station has opened yet) the tables
    // still load; the next check then simply loads again.
    auto counter = changecounter::read(conn, changecounter::kRoosters);
    // Read whole before anything is replaced: a database that fails half-way
    // leaves the schedules of the last good load in use, not a half cache
    // that would send every report to "Weekrooster N bestaat niet".
    auto years = JaarPlanningRepository(conn).list(QStringLiteral("ORDER BY id"));
    if (!years)
        return Status::failure(years.error());
    auto weeks = WeekPlanningRepository(conn).list(QStringLiteral("ORDER BY id"));
    if (!weeks)
        return Status::failure(weeks.error());
    m_weeks.clear();
    m_years.clear();
    m_starts.clear();
    m_problems.clear();
    for (const JaarPlanning& y : *years)
        m_years.insert(y.id, y);
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
    m_counter = counter ? std::optional<qint64>(*counter) : std::nullopt;
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

bool ScheduleCache::reloadIfChanged(const DatabaseConnector& conn, EventLog& log)
{
    auto counter = changecounter::read(conn, changecounter::kRoosters);
    if (!counter) {
        if (!m_counterUnreadable)
            log.writeLog(QStringLiteral("Roosterwijzigingen niet na te gaan: ") + counter.error(), 1);
        m_counterUnreadable = true;
        return false;
    }
    m_counterUnreadable = false;
    if (m_counter && *m_counter == *counter)
        return false;
    if (Status s = load(conn, log); !s) {
        log.writeLog(QStringLiteral("Roosters kunnen niet worden geladen: %1").arg(s.error()), 0);
        return true;
    }
    log.writeLog(QStringLiteral("Roosters opnieuw geladen na een wijziging."), 2);
    return true;
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
