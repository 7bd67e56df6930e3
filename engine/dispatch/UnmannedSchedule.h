#pragma once

#include "Rows.h"

#include <QDateTime>

namespace taviro {

// The time of day at which a staffed control room lets the console go
// unmanned, one per weekday ("hh:mm", two-digit hours). True when `now` falls
// in that minute and the schedule is switched on; the caller switches the
// console unmanned and asks for a login.
bool unmannedTimeReached(const Settings& settings, const QDateTime& now);

} // namespace taviro
