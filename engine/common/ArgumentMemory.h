#pragma once

#include <QString>

namespace taviro {

// Every local user can read a process's command line (ps, /proc/PID/cmdline)
// for as long as it runs. These overwrite secrets in the argument memory
// itself, as soon as the program has read them; the arguments must have been
// copied first (QCoreApplication::arguments).

// Every blank-separated word of the arguments after the program's name that
// equals `secret` becomes x's.
void hideInArguments(int argc, char** argv, const QString& secret);

// The password of every postgresql:// URL among the arguments becomes x's.
void hideUrlPasswords(int argc, char** argv);

} // namespace taviro
