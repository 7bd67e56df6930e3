#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace taviro::test {

// The folder with the project's executables (set by ctest as TAVIRO_BIN_DIR).
QString binDir();

// Starts one of the project's programs with extra environment variables.
void startProgram(QProcess& process, const QString& program, const QStringList& arguments,
                  const QStringList& environment = {});

// Waits until the process's stderr has printed `text`, up to timeoutMs.
bool waitForStderr(QProcess& process, const QString& text, int timeoutMs = 20000);

// Asks the process to end (SIGTERM) and kills it when it has not ended
// within graceMs.
void stopProgram(QProcess& process, int graceMs = 15000);

// For a program started inside `unshare --pid --fork`: the program itself
// is asked to end, so the wrapper reaps it and ends with it. Ending the
// wrapper first would leave the program to end alone, orphaned.
void stopProgramInNamespace(QProcess& wrapper, int graceMs = 15000);

// The process's stderr as far as waitForStderr read it.
QString stderrSeen(const QProcess& process);

// The processes whose parent is `parent` (the services a program started).
QList<qint64> childrenOf(qint64 parent);

// The environment a running process was started with, as "NAME=value" lines.
QStringList environmentOf(qint64 pid);

} // namespace taviro::test
