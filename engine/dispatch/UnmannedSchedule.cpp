#include "UnmannedSchedule.h"

#include "DutyTime.h"

namespace taviro {

namespace {

// Read like the schedules' block starts, so "8:00", "08:00" and "08:00:00"
// all mean eight o'clock; a day without a readable time has no switch.
std::optional<DutyTime> switchTimeOn(const Settings& settings, const QDate& day)
{
    const QString* days[] = {&settings.maandag,   &settings.dinsdag, &settings.woensdag,
                             &settings.donderdag, &settings.vrijdag, &settings.zaterdag,
                             &settings.zondag};
    return DutyTime::read(*days[day.dayOfWeek() - 1]);
}

} // namespace

bool unmannedTimeReached(const Settings& settings, const QDateTime& now)
{
    if (!settings.OnbemandRoosterActief)
        return false;
    const auto at = switchTimeOn(settings, now.date());
    return at && *at == DutyTime::of(now);
}

QList<QDateTime> unmannedSwitchesBetween(const Settings& settings, const QDateTime& from, const QDateTime& to)
{
    QList<QDateTime> found;
    if (!settings.OnbemandRoosterActief || !from.isValid() || !to.isValid() || to <= from)
        return found;
    // A week back at most: a console asleep longer owes one switch, not seven.
    const QDate first = std::max(from.date(), to.date().addDays(-7));
    for (QDate day = first; day <= to.date(); day = day.addDays(1)) {
        const auto at = switchTimeOn(settings, day);
        if (!at || at->hours >= 24)
            continue;
        const QDateTime moment(day, QTime(at->hours, at->minutes));
        if (moment > from && moment <= to)
            found.append(moment);
    }
    return found;
}

} // namespace taviro
