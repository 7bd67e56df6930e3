#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

namespace taviro::proc {

struct ProcessEntry
{
    pid_t pid = 0;
    QString executableName; // file name only, as the process was started
    QString executablePath; // full path from /proc/PID/exe; empty where that may not be read
};

// Every process of the machine with the file name of its executable, read
// from /proc/PID/exe, or from argv[0] where that link may not be read.
// /proc/PID/comm is no use: it is cut at 15 characters.
QList<ProcessEntry> list();

// True while the process exists and is not a zombie waiting to be reaped.
bool isAlive(pid_t pid);

} // namespace taviro::proc
