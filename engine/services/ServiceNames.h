#pragma once

#include <QStringList>

namespace taviro::services {

// The six service executables, in the order the console ends them.
QStringList executableNames();

} // namespace taviro::services
