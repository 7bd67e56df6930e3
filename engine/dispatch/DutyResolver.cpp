#include "DutyResolver.h"

#include "ScheduleCache.h"

namespace taviro {

DutyResolver::DutyResolver(const ScheduleCache& cache, QDateTime now, bool einddienst,
                           const QString& eindtijd)
    : m_cache(cache), m_now(std::move(now)), m_einddienst(einddienst)
{
    // An end of duty that is no time must not silence every schedule: duty
    // then runs to the end of the day, and the caller logs the setting.
    if (const auto end = DutyTime::read(eindtijd))
        m_eindtijd = *end;
    else if (m_einddienst)
        m_eindtijdProblem = QStringLiteral("Einde diensttijd \"%1\" is geen tijd; de dienst "
                                           "loopt door tot middernacht")
                                .arg(eindtijd);
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
    const int today = m_now.date().dayOfWeek();
    // Blocks whose start is no time are left out: the block before runs on
    // until the next readable start. Unreadable starts are logged at load.
    const QList<std::pair<int, DutyTime>> starts = readableStarts(weekId, 3);
    if (starts.isEmpty())
        return false;

    if (!isBeforeTime(now, starts.first().second)) {
        bool found = false;
        for (qsizetype i = 0; i + 1 < starts.size() && !found; ++i) {
            if (isInBlock(now, starts[i].second, starts[i + 1].second)) {
                slot.block = starts[i].first;
                found = true;
            }
        }
        if (!found && isAtOrAfterTime(now, starts.last().second)) {
            slot.block = starts.last().first;
            found = true;
        }
        if (!found)
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
        // The previous day's last block in use, or the last before it that
        // has a readable start.
        const auto night = readableStarts(weekId, m_cache.activeBlockCount(weekId));
        if (night.isEmpty())
            return false;
        slot.block = night.last().first;
    }
    if (m_einddienst && isAtOrAfterTime(now, m_eindtijd))
        return false;
    slot.weekId = weekId;
    return true;
}

QList<std::pair<int, DutyTime>> DutyResolver::readableStarts(qint64 weekId, int blocks) const
{
    QList<std::pair<int, DutyTime>> starts;
    if (const ScheduleCache::BlockStarts* all = m_cache.blockStarts(weekId)) {
        for (int block = 0; block < blocks && block < 3; ++block)
            if ((*all)[block])
                starts.append({block, *(*all)[block]});
    }
    return starts;
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
