#include "ServiceKiller.h"

#include "ProcessTable.h"
#include "ServiceNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace taviro {

namespace {
constexpr int kPauseAfterKillMs = 500;
constexpr int kPollMs = 20;
} // namespace

namespace {

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa = {}, sb = {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0
           && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace

ServiceKiller::ServiceKiller(QString serviceFolder, Pause pause, int graceMs)
    : m_serviceFolder(QFileInfo(serviceFolder).canonicalFilePath()),
      m_pause(pause ? std::move(pause) : Pause([](int ms) { QThread::msleep(ulong(ms)); })), m_graceMs(graceMs)
{
}

bool ServiceKiller::isOurs(const QString& executablePath, const QString& exeName) const
{
    // Without the executable's path (another user's process) nothing proves
    // it ours; such a process could not be signalled anyway.
    if (executablePath.isEmpty() || m_serviceFolder.isEmpty())
        return false;
    if (QFileInfo(executablePath).absolutePath() == m_serviceFolder)
        return true;
    // The same file reached another way (a hard link, a bind mount).
    return sameFile(executablePath, m_serviceFolder + QLatin1Char('/') + exeName);
}

void ServiceKiller::killServices()
{
    if (m_stoodDown)
        return;
    for (const QString& name : services::executableNames())
        killApp(name);
}

bool ServiceKiller::killApp(const QString& exeName)
{
    const QString wanted = exeName.toLower();
    const pid_t self = ::getpid();
    bool matched = false;
    for (const proc::ProcessEntry& p : proc::list()) {
        if (p.pid == self || !p.executableName.toLower().endsWith(wanted) || !isOurs(p.executablePath, exeName))
            continue;
        matched = true;
        if (killProcess(p.pid, 0))
            m_pause(kPauseAfterKillMs);
    }
    return matched;
}

bool ServiceKiller::killProcess(pid_t pid, int exitCode)
{
    Q_UNUSED(exitCode);
    if (pid <= 0 || pid == ::getpid())
        return false;
    // A process we may not signal (another user's) is left alone.
    if (::kill(pid, SIGTERM) != 0)
        return false;
    for (int waited = 0; waited < m_graceMs; waited += kPollMs) {
        if (!proc::isAlive(pid))
            return true;
        QThread::msleep(kPollMs);
    }
    if (::kill(pid, SIGKILL) != 0)
        return errno == ESRCH;
    for (int waited = 0; waited < 2000; waited += kPollMs) {
        if (!proc::isAlive(pid))
            return true;
        QThread::msleep(kPollMs);
    }
    return false;
}

} // namespace taviro
