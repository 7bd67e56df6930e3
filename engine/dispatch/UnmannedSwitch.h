#pragma once

#include "DutySlots.h"

#include <QDateTime>

namespace taviro {

class Clock;
class DatabaseConnector;

// The unmanned schedule's switch for one manned console. The switch times
// passed since the console was manned are owed, whatever its timer did
// (late, skipped minutes, a suspended machine): a switch time passed is a
// switch made, late rather than never, and made once. Each switch is kept as
// a slot of the duty "onbemand <kind> <name>", so a doubled tick, or a second
// look before the console went unmanned, finds it made.
class UnmannedSwitch
{
public:
    UnmannedSwitch(const DatabaseConnector& conn, const Clock& clock, const Workstation& self);
    void setWorkstation(const Workstation& self);

    // The switch time now owed, recorded as made; nothing when none is owed
    // (or the database cannot tell: the next look asks again).
    std::optional<QDateTime> takeOwedSwitch(const QDateTime& mannedSince);

private:
    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    DutySlots m_slots;
    QString m_duty;
};

} // namespace taviro
