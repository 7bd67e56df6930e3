#pragma once

#include <QString>

#include <array>
#include <optional>

namespace taviro {

// The start of a duty block as the installer types it, "h:m" ("8:00",
// "16:30"); "24:00" marks a block that never starts. Seconds since midnight,
// 86400 for "24:00"; nothing for text that is no time of day.
std::optional<int> blockStartSeconds(const QString& text);

// Why the start time in box `box` (1..3) cannot stay as it is, given all
// three boxes; empty when it may. Blocks follow each other through the day,
// so each start lies between its neighbours (equal starts are allowed).
QString blockTimeProblem(int box, const std::array<QString, 3>& times);

} // namespace taviro
