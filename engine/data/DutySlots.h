#pragma once

#include "Result.h"
#include "Workstation.h"

#include <QString>

#include <optional>

namespace taviro {

class DatabaseConnector;

// The room's record of its periodic duties (`taakslot`): one row per duty and
// time slot, unique on the two. A workstation that wants to do a duty for a
// slot inserts the row in the transaction that does the duty; only the one
// whose insert took effect goes on, every other finds the row and leaves the
// duty alone. So a duty is done once for the whole room, however many
// workstations look, however late their timers fire, and whether a
// workstation dies before or after its commit.
class DutySlots
{
public:
    static constexpr qint64 kQuarterSecs = 15 * 60;

    DutySlots(const DatabaseConnector& conn, Workstation self);
    void setWorkstation(Workstation self) { m_self = std::move(self); }

    // Within the caller's transaction: true when this workstation now has the
    // slot, false when someone had it already.
    Result<bool> take(const QString& duty, qint64 slotStart) const;
    // The latest slot of the duty anybody took, or none when never.
    Result<std::optional<qint64>> lastTaken(const QString& duty) const;
    // Rows older than this are history nobody reads again.
    Status forgetBefore(const QString& duty, qint64 slotStart) const;

    // The start of the slot of `periodSecs` that `secs` falls in.
    static qint64 slotOf(qint64 secs, qint64 periodSecs) { return secs - ((secs % periodSecs) + periodSecs) % periodSecs; }

private:
    const DatabaseConnector& m_conn;
    Workstation m_self;
};

} // namespace taviro
