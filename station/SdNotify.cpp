#include "SdNotify.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace taviro {

SdNotify::SdNotify(QObject* parent) : QObject(parent)
{
    m_active = !qEnvironmentVariableIsEmpty("NOTIFY_SOCKET");
    // Zero unless the manager asked this very process (WATCHDOG_PID) for pings.
    uint64_t usec = 0;
    if (::sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        m_pingMs = int(qMax<uint64_t>(1, usec / 2000));
    connect(&m_ping, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
}

bool SdNotify::send(const QByteArray& state) const
{
    return m_active && ::sd_notify(0, state.constData()) > 0;
}

void SdNotify::ready()
{
    send("READY=1");
}

void SdNotify::stopping()
{
    m_ping.stop();
    send("STOPPING=1");
}

void SdNotify::startWatchdog()
{
    if (m_pingMs <= 0 || !active())
        return;
    send("WATCHDOG=1");
    m_ping.start(m_pingMs);
}

} // namespace taviro
