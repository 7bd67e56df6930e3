#pragma once

#include "Clock.h"
#include "Result.h"

#include <atomic>

namespace taviro {

class DatabaseConnector;

// The room's clock: this machine's clock set to the database server's, the
// one clock every workstation shares. Time slots, retry pauses and the dates
// the engine writes then agree between workstations whose own clocks differ.
// sync() measures the difference again; until the first sync, and while the
// server cannot be asked, the last known difference (at first none) holds.
class ServerClock final : public Clock
{
public:
    QDateTime now() const override;
    // On the thread that owns the connection; cheap (one read).
    Status sync(const DatabaseConnector& conn);
    qint64 offsetMsecs() const { return m_offsetMsecs.load(); }

private:
    std::atomic<qint64> m_offsetMsecs{0};
};

} // namespace taviro
