#pragma once

#include <QStringList>

namespace taviro {

// taviro-db status [DATABASE]: the room at a glance for an installer at a
// terminal. Without DATABASE the one the console would open. Exit 0, or 1
// when the database cannot be read.
int statusCommand(const QStringList& args);

} // namespace taviro
