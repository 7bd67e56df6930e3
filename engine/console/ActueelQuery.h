#pragma once

#include "Console.h"
#include "Result.h"

namespace taviro {

// showActueel: every report still to be acknowledged that has a line worth
// showing (an active line, not a 24-hour check-in, of an active transmitter),
// one item per report, newest first. Touches nothing: no marks, no sound.
Result<QList<ActueelItem>> loadActueel(const DatabaseConnector& conn);

} // namespace taviro
