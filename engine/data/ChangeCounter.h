#pragma once

#include "Result.h"

#include <QString>

namespace taviro {

class DatabaseConnector;

// Counters in `wijzigteller` that tell every station sharing the database
// that something it holds in memory was changed by another one. A writer
// bumps the counter in the transaction of its change; a reader compares the
// counter with the value it read when it loaded its copy.
namespace changecounter {

// The week and year schedules of the schedule cache.
inline const QString kRoosters = QStringLiteral("roosters");

// Makes sure the counter's row exists. A row that is (re)created starts at
// the database server's clock in seconds, not at 0, so a table that another
// program emptied cannot bring a counter back to a value a station already
// knows.
Status ensure(const DatabaseConnector& conn, const QString& naam);
// One more change; run it in the transaction that makes the change.
Status bump(const DatabaseConnector& conn, const QString& naam);
// The counter now; 0 when its row is missing.
Result<qint64> read(const DatabaseConnector& conn, const QString& naam);

} // namespace changecounter
} // namespace taviro
