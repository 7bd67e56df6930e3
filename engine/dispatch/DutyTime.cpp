#include "DutyTime.h"

#include <QDateTime>

namespace taviro {

QString timeHours(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    return colon < 0 ? text : text.left(colon);
}

QString timeMinutes(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : text.mid(colon + 1);
}

DutyTime DutyTime::parse(const QString& text)
{
    if (!text.contains(QLatin1Char(':')))
        return {};
    return {timeHours(text).trimmed().toInt(), timeMinutes(text).trimmed().toInt()};
}

DutyTime DutyTime::of(const QDateTime& moment)
{
    return {moment.time().hour(), moment.time().minute()};
}

bool isBeforeTime(DutyTime now, DutyTime start)
{
    return now.hours < start.hours || (now.hours == start.hours && now.minutes < start.minutes);
}

bool isAtOrAfterTime(DutyTime now, DutyTime start)
{
    return !isBeforeTime(now, start);
}

bool isInBlock(DutyTime now, DutyTime startA, DutyTime startB)
{
    return isAtOrAfterTime(now, startA) && isBeforeTime(now, startB);
}

} // namespace taviro
