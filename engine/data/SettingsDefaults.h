#pragma once

#include "Rows.h"

namespace taviro {

// The settings of a new installation: what the schema upgrade writes into an
// older database, plus three SMS attempts, the most common choice on site.
Settings defaultSettings();

} // namespace taviro
