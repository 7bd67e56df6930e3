#include "DutyResolver.h"

#include "ScheduleCache.h"

namespace taviro {

DutyResolver::DutyResolver(const ScheduleCache& cache, QDateTime now, bool einddienst,
                           const QString& eindtijd)
    : m_cache(cache), m_now(std::move(now)), m_einddienst(einddienst)
{
    // An empty end time reads as 0:00: with an end of duty set, nobody is on duty.
    m_eindtijd = {timeHours(eindtijd).trimmed().toInt(), timeMinutes(eindtijd).trimmed().toInt()};
}

int DutyResolver::weekNumber() const
{
    return m_now.date().weekNumber();
}

int DutyResolver::previousWeekNumber() const
{
    return m_now.date().addDays(-7).weekNumber();
}

qint64 DutyResolver::weekOfYear(qint64 yearId, int week, QString& problem) const
{
    const JaarPlanning* year = m_cache.year(yearId);
    if (!year) {
        problem = QStringLiteral("Jaarrooster %1 bestaat niet").arg(yearId);
        return 0;
    }
    const qint64 weekId = week >= 1 && week <= JaarPlanning::kWeeks ? year->weeks[week - 1] : 0;
    if (weekId == 0)
        problem = QStringLiteral("Jaarrooster %1 (%2) heeft geen weekrooster voor week %3")
                      .arg(yearId)
                      .arg(year->alias)
                      .arg(week);
    else if (!m_cache.week(weekId))
        problem = QStringLiteral("Weekrooster %1 uit jaarrooster %2 (%3) bestaat niet")
                      .arg(weekId)
                      .arg(yearId)
                      .arg(year->alias);
    return problem.isEmpty() ? weekId : 0;
}

bool DutyResolver::resolveLine(const DutyLine& line, ScheduleMode mode, Slot& slot,
                               QString& problem) const
{
    qint64 weekId = line.scheduleId;
    if (mode == ScheduleMode::Year) {
        weekId = weekOfYear(line.scheduleId, weekNumber(), problem);
        if (weekId == 0)
            return false;
    }
    const WeekPlanning* week = m_cache.week(weekId);
    if (!week) {
        problem = QStringLiteral("Weekrooster %1 bestaat niet").arg(weekId);
        return false;
    }
    const DutyTime now = DutyTime::of(m_now);
    const DutyTime t1 = DutyTime::parse(week->time1);
    const DutyTime t2 = DutyTime::parse(week->time2);
    const DutyTime t3 = DutyTime::parse(week->time3);
    const int today = m_now.date().dayOfWeek();

    if (!isBeforeTime(now, t1)) {
        if (isInBlock(now, t1, t2))
            slot.block = 0;
        else if (isInBlock(now, t2, t3))
            slot.block = 1;
        else if (isAtOrAfterTime(now, t3))
            slot.block = 2;
        else
            return false; // start times out of order: no block holds this moment
        slot.day = today;
    } else {
        if (m_einddienst)
            return false;
        if (today == Qt::Monday) {
            slot.day = 7;
            if (mode == ScheduleMode::Year) {
                weekId = weekOfYear(line.scheduleId, previousWeekNumber(), problem);
                if (weekId == 0)
                    return false;
            }
        } else {
            slot.day = today - 1;
        }
        const int blocks = m_cache.activeBlockCount(weekId);
        if (blocks == 0)
            return false;
        slot.block = blocks - 1;
    }
    if (m_einddienst && isAtOrAfterTime(now, m_eindtijd))
        return false;
    slot.weekId = weekId;
    return true;
}

void DutyResolver::addOnDutyRecipients(const QList<DutyLine>& lines, ScheduleMode mode,
                                       DutyOutcome& out) const
{
    for (const DutyLine& line : lines) {
        Slot slot;
        QString problem;
        if (!resolveLine(line, mode, slot, problem)) {
            if (!problem.isEmpty()) {
                out.unresolvedLines.append(line.lineId);
                out.problems.append(problem);
            }
            continue;
        }
        const WeekPlanning* week = m_cache.week(slot.weekId);
        for (int position = 0; position < 3; ++position) {
            const qint64 cell =
                week->cells[WeekPlanning::cellIndex(position, slot.day - 1, slot.block)];
            if (cell != 0)
                out.pairs.append({line.lineId, cell});
        }
    }
}

} // namespace taviro
