#pragma once

#include "Console.h"
#include "Result.h"

namespace taviro {

// showActueel: every report still to be acknowledged that has a line worth
// showing (an active line, not a 24-hour check-in, of an active transmitter),
// one item per report, newest first. Touches nothing: no marks, no sound.
Result<QList<ActueelItem>> loadActueel(const DatabaseConnector& conn);
// The same for reports already taken in (by any station) with a key above
// `above`, oldest first: what other stations added since a console last looked.
Result<QList<ActueelItem>> loadTakenInAbove(const DatabaseConnector& conn, qint64 above);

} // namespace taviro
