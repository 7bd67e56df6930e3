#pragma once

#include <QString>

namespace taviro {

// The console's look: calm greys, a dark header, and colour only where the
// operator must look (the manned state, open alarms).
QString windowStyleSheet();

} // namespace taviro
