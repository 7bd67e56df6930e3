#include "Clock.h"

namespace taviro {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

} // namespace taviro
