#include "UnmannedSchedule.h"

#include "DutyTime.h"

namespace taviro {

bool unmannedTimeReached(const Settings& settings, const QDateTime& now)
{
    if (!settings.OnbemandRoosterActief)
        return false;
    const QString* days[] = {&settings.maandag,   &settings.dinsdag, &settings.woensdag,
                             &settings.donderdag, &settings.vrijdag, &settings.zaterdag,
                             &settings.zondag};
    // Read like the schedules' block starts, so "8:00", "08:00" and
    // "08:00:00" all mean eight o'clock; a day without a readable time has
    // no switch.
    const auto at = DutyTime::read(*days[now.date().dayOfWeek() - 1]);
    return at && *at == DutyTime::of(now);
}

} // namespace taviro
