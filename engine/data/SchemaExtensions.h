#pragma once

#include "Result.h"

namespace taviro {

class DatabaseConnector;

namespace schema {

struct TableSpec;

// The outbox of every e-mail the room owes, drained by the mail senders.
TableSpec mailOutboxTable();

// What we add to a version-29 database without raising its version, so older
// consoles and other programs keep working on it: the dispatch link table and
// the indexes the console's joins need. Safe to run on every start-up.
Status createExtensions(const DatabaseConnector& connector);
// The same in a transaction of its own.
Status ensureExtensions(const DatabaseConnector& connector);

} // namespace schema
} // namespace taviro
