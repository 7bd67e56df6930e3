#include "UnmannedSchedule.h"

namespace taviro {

bool unmannedTimeReached(const Settings& settings, const QDateTime& now)
{
    if (!settings.OnbemandRoosterActief)
        return false;
    const QString* days[] = {&settings.maandag,   &settings.dinsdag, &settings.woensdag,
                             &settings.donderdag, &settings.vrijdag, &settings.zaterdag,
                             &settings.zondag};
    // Compared as text, as the operator typed it: "8:00" never matches "08:00".
    return *days[now.date().dayOfWeek() - 1] == now.toString(QStringLiteral("HH:mm"));
}

} // namespace taviro
