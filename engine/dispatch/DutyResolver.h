#pragma once

#include "DutyTime.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

namespace taviro {

class ScheduleCache;

enum class ScheduleMode
{
    Week = 1,
    Year = 2
};

// A line to resolve and the schedule its class names.
struct DutyLine
{
    qint64 lineId = 0;
    qint64 scheduleId = 0;
};

// One occupied duty cell for one line.
struct DutyPair
{
    qint64 lineId = 0;
    qint64 recipientId = 0;
};

struct DutyOutcome
{
    QList<DutyPair> pairs;
    // Lines whose schedule is missing (or whose year schedule names no week
    // schedule this week): skipped, with a reason each in `problems`.
    QList<qint64> unresolvedLines;
    QStringList problems;
};

// Who is on duty now. Days run from the first block's start: before it, the
// previous day's last block is still on duty (night duty past midnight), on a
// Monday that is Sunday's, from the previous week's schedule. With an end of
// duty set, nobody is on duty from `eindtijd` until the next day's first block.
// A block whose start is no time is left out (the block before runs on); an
// end of duty that is no time ends nothing.
//
// Week numbers follow ISO 8601 (QDate::weekNumber), for this week and for the
// previous week alike, so a year schedule's week 1 and week 53 mean the same
// thing on both sides of a year end.
class DutyResolver
{
public:
    DutyResolver(const ScheduleCache& cache, QDateTime now, bool einddienst,
                 const QString& eindtijd);

    void addOnDutyRecipients(const QList<DutyLine>& lines, ScheduleMode mode,
                             DutyOutcome& out) const;

    // Why the end of duty is ignored, or empty.
    const QString& eindtijdProblem() const { return m_eindtijdProblem; }

    int weekNumber() const;
    int previousWeekNumber() const;

private:
    struct Slot
    {
        int day = 0;   // 1 = Monday ... 7 = Sunday
        int block = 0; // 0..2
        qint64 weekId = 0;
    };
    bool resolveLine(const DutyLine& line, ScheduleMode mode, Slot& slot, QString& problem) const;
    qint64 weekOfYear(qint64 yearId, int week, QString& problem) const;
    // (block, start) of blocks 0..blocks-1 whose start is readable.
    QList<std::pair<int, DutyTime>> readableStarts(qint64 weekId, int blocks) const;

    const ScheduleCache& m_cache;
    QDateTime m_now;
    bool m_einddienst;
    DutyTime m_eindtijd{24, 0};
    QString m_eindtijdProblem;
};

} // namespace taviro
