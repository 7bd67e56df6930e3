#pragma once

#include <QString>

class QDateTime;

namespace taviro {

// A time of day as the schedules hold it: "h:m" as typed ("8:00", "16:30",
// "24:00"). Only hours and minutes count; "24:00" is a start no clock reaches.
struct DutyTime
{
    int hours = 0;
    int minutes = 0;

    // Text before the first colon is the hour, after it the minutes; a text
    // without a colon counts as 0:00, unreadable parts as 0.
    static DutyTime parse(const QString& text);
    static DutyTime of(const QDateTime& moment);
};

QString timeHours(const QString& text);
QString timeMinutes(const QString& text);
bool isBeforeTime(DutyTime now, DutyTime start);
bool isAtOrAfterTime(DutyTime now, DutyTime start);
// The half-open interval [startA, startB).
bool isInBlock(DutyTime now, DutyTime startA, DutyTime startB);

} // namespace taviro
