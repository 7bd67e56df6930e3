#pragma once

#include <QString>

#include <array>

namespace taviro {

// Why the start time in box `box` (1..3) cannot stay as it is, given all
// three boxes; empty when it may. Blocks follow each other through the day,
// so each start lies between its neighbours (equal starts are allowed).
QString blockTimeProblem(int box, const std::array<QString, 3>& times);

// What is stored for a start as typed: the "h:mm" form of an accepted time
// ("08:05" and "8:5:00" both become "8:05"), anything else unchanged.
QString storedBlockTime(const QString& typed);

} // namespace taviro
