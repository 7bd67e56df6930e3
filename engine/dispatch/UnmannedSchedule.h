#pragma once

#include "Rows.h"

#include <QDateTime>
#include <QList>

namespace taviro {

// The time of day at which a staffed control room lets the console go
// unmanned, one per weekday ("hh:mm", two-digit hours). True when `now` falls
// in that minute and the schedule is switched on; the caller switches the
// console unmanned and asks for a login.
bool unmannedTimeReached(const Settings& settings, const QDateTime& now);

// Every switch moment of the schedule after `from` up to and including `to`,
// oldest first: a timer that fired late, or a machine that slept through the
// minute, still finds the switch it owes.
QList<QDateTime> unmannedSwitchesBetween(const Settings& settings, const QDateTime& from, const QDateTime& to);

} // namespace taviro
