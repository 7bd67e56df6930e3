#pragma once

#include "Result.h"

#include <QString>

namespace taviro {

// The first operator's password for taviro-db, never from the command line
// (every local user can read that): from `file`, or standard input when it
// is "-" (the first line, without its line end), or else typed twice at the
// terminal without being shown.
Result<QString> readNewPassword(const QString& file, const QString& login);

} // namespace taviro
