#pragma once

#include "Result.h"

#include <QtGlobal>

namespace taviro {

class DatabaseConnector;

// The escalation part of the settings row. The columns are added to an
// existing database at start-up with escalation off, so an upgraded room
// stores, shows and sends what it did before until an installer switches
// it on.
struct EscalationSettings
{
    // Longer waits are read as a day: an alarm nobody acknowledged for a
    // day is escalated then rather than weeks later.
    static constexpr qint64 kMaxMinutes = 24 * 60;
    static constexpr qint64 kOfferedMinutes = 30; // what the editor offers when switched on

    qint64 minutes = 0; // EscalatieMinuten; 0 (or NULL) is off
    qint64 weekId = 0;  // EscalatieWeekplanning; 0 is none
    qint64 yearId = 0;  // EscalatieJaarplanning; 0 is none, else used instead of the week schedule
    bool copy = false;  // EscalatieKopie: a second level by e-mail to the copy addresses
    bool notice = false; // BevestigingMelden: the others hear who acknowledged

    bool on() const { return minutes > 0; }
    // The wait as the engine uses it: at most a day.
    qint64 effectiveMinutes() const { return qMin(minutes, kMaxMinutes); }
};

namespace escalation {

// The first settings row's escalation columns; a missing row reads as off.
Result<EscalationSettings> load(const DatabaseConnector& conn);
// Writes the columns of every settings row (there is one); inside the
// caller's transaction when it has one.
Status save(const DatabaseConnector& conn, const EscalationSettings& s);
// Adds the columns to `settings` when missing, each with its off value.
Status addColumns(const DatabaseConnector& conn);

} // namespace escalation
} // namespace taviro
