#pragma once

#include "DatabaseConnector.h"
#include "Result.h"

namespace taviro {

struct CopyCounts
{
    int tables = 0;
    qint64 rows = 0;
};

// Moves a whole installation to a new database (SQLite file to PostgreSQL or
// back): every table of version 29 and our additions, with every key kept so
// old reports still point at their transmitters, lines and dispatches. The
// target must be new: a file that does not exist yet, or a PostgreSQL
// database without our tables. One transaction: a failed copy leaves nothing.
Result<CopyCounts> copyDatabase(const DatabaseSettings& from, const DatabaseSettings& to);

} // namespace taviro
