#include "ServiceKiller.h"

#include "ProcessTable.h"
#include "ServiceNames.h"

#include <QThread>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace taviro {

namespace {
constexpr int kPauseAfterKillMs = 500;
constexpr int kPollMs = 20;
} // namespace

ServiceKiller::ServiceKiller(Pause pause, int graceMs)
    : m_pause(pause ? std::move(pause) : Pause([](int ms) { QThread::msleep(ulong(ms)); })), m_graceMs(graceMs)
{
}

void ServiceKiller::killServices()
{
    for (const QString& name : services::executableNames())
        killApp(name);
}

bool ServiceKiller::killApp(const QString& exeName)
{
    const QString wanted = exeName.toLower();
    const pid_t self = ::getpid();
    bool matched = false;
    for (const proc::ProcessEntry& p : proc::list()) {
        if (p.pid == self || !p.executableName.toLower().endsWith(wanted))
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
