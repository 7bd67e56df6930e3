#pragma once

#include <QDateTime>

namespace taviro {

// Every moment the engine acts on comes from a Clock, so tests can move time
// to a quarter hour, a week 53 or a year end without waiting for it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// Local wall-clock time, which is what the control room's schedules are in.
class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};

} // namespace taviro
