#pragma once

#include <QString>

#include <functional>

#include <sys/types.h>

namespace taviro {

// Ends service processes left from an earlier run, which would otherwise keep
// holding their serial port or mailbox, before the console starts its own.
// Only this installation's leftovers: a process must carry a service's name
// and run an executable from this installation's service folder (or the very
// same file). Another installation on the same host, or a test run beside
// this one, keeps its receivers.
class ServiceKiller
{
public:
    using Pause = std::function<void(int milliseconds)>;

    // serviceFolder holds this installation's service executables; pause
    // defaults to sleeping the thread; graceMs is how long a process gets to
    // end on SIGTERM before SIGKILL.
    explicit ServiceKiller(QString serviceFolder, Pause pause = {}, int graceMs = 2000);

    // Ends the six service executables, in the console's fixed order.
    void killServices();
    // From now on killServices leaves everything alone: the services running
    // belong to a station of this installation on this machine, not to us.
    void standDown() { m_stoodDown = true; }
    // The program that ran them has gone and this one runs them from now on.
    void takeOver() { m_stoodDown = false; }
    // Ends every process of this installation whose executable name ends with
    // exeName, ignoring case; true when at least one matched. Waits 500 ms
    // after each one ended.
    bool killApp(const QString& exeName);
    // SIGTERM, then SIGKILL after the grace time; true when the process is gone.
    // exitCode is accepted for the callers' sake; a signal decides the real one.
    bool killProcess(pid_t pid, int exitCode = 0);

private:
    bool isOurs(const QString& executablePath, const QString& exeName) const;

    QString m_serviceFolder; // canonical
    Pause m_pause;
    int m_graceMs;
    bool m_stoodDown = false;
};

} // namespace taviro
