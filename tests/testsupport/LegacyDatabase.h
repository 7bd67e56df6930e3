#pragma once

#include "Result.h"

#include <QString>

namespace taviro::test {

// Builds a SQLite database as an installation of an older schema version had
// it: version 0 means before 26, without a DatabaseVersion column. It holds a
// settings row with the old mail subject and a ticked legacy copy address, three
// recipients with the legacy method 1 (SMS), 2 (e-mail) and 0, an alarm point
// and a serial port.
Status createLegacyDatabase(const QString& path, int version, bool withSettingsRow = true);

} // namespace taviro::test
