#pragma once

#include <QStringList>

namespace taviro {

// taviro-db mail DATABASE [--wachtend|--mislukt|--verzonden] [--aantal N]:
// the room's outbox for the administrator, newest first.
int mailCommand(const QStringList& args);

} // namespace taviro
