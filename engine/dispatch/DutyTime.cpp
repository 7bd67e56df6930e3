#include "DutyTime.h"

#include <QDateTime>
#include <QRegularExpression>

namespace taviro {

std::optional<DutyTime> DutyTime::read(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int hours = m.captured(1).toInt();
    const int minutes = m.captured(2).toInt();
    const int seconds = m.capturedLength(3) ? m.captured(3).toInt() : 0;
    if (hours == 24 && minutes == 0 && seconds == 0)
        return DutyTime{24, 0};
    if (hours > 23 || minutes > 59 || seconds > 59)
        return std::nullopt;
    return DutyTime{hours, minutes};
}

DutyTime DutyTime::of(const QDateTime& moment)
{
    return {moment.time().hour(), moment.time().minute()};
}

QString DutyTime::text() const
{
    return QStringLiteral("%1:%2").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'));
}

bool isBeforeTime(DutyTime now, DutyTime start)
{
    return now.minuteOfDay() < start.minuteOfDay();
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
