#pragma once

#include <QString>

#include <optional>

class QDateTime;

namespace taviro {

// A time of day as the schedules and settings hold it. The week editor
// stores "h:mm" ("8:00", "16:30"); other programs sharing the database have
// stored "08:05", "8:5" and "16:30:00". "24:00" is a block start no clock
// reaches. Only hours and minutes count.
struct DutyTime
{
    int hours = 0;
    int minutes = 0;

    // Every form above, with blanks around it. Anything else ("abc",
    // "25:61", "", "8", "24:30") is no time: the caller logs it and leaves
    // the block out rather than guessing midnight.
    static std::optional<DutyTime> read(const QString& text);
    static DutyTime of(const QDateTime& moment);

    // The form the editor stores: "8:05", "24:00".
    QString text() const;
    int minuteOfDay() const { return hours * 60 + minutes; }
    friend bool operator==(DutyTime, DutyTime) = default;
};

bool isBeforeTime(DutyTime now, DutyTime start);
bool isAtOrAfterTime(DutyTime now, DutyTime start);
// The half-open interval [startA, startB).
bool isInBlock(DutyTime now, DutyTime startA, DutyTime startB);

} // namespace taviro
