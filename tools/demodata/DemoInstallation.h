#pragma once

#include "DatabaseConnector.h"
#include "Result.h"

namespace taviro {

// Fills a new database with a small believable site: transmitters with their
// points (one a 24-hour check-in), recipients with their SMS and e-mail
// choices, week and year schedules and working settings. One transaction.
Status addDemoInstallation(const DatabaseConnector& connector);

} // namespace taviro
