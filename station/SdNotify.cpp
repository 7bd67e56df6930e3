#include "SdNotify.h"

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace taviro {

SdNotify::SdNotify(QObject* parent) : QObject(parent)
{
    m_socketPath = qgetenv("NOTIFY_SOCKET");
    bool ok = false;
    const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    const QString forPid = qEnvironmentVariable("WATCHDOG_PID");
    const bool forUs = forPid.isEmpty() || forPid.toLongLong() == ::getpid();
    if (ok && usec > 0 && forUs)
        m_pingMs = int(qMax<qint64>(1, usec / 2000));
    connect(&m_ping, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
}

bool SdNotify::send(const QByteArray& state) const
{
    if (m_socketPath.isEmpty())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_socketPath.size() >= qsizetype(sizeof(address.sun_path)) || m_socketPath.size() < 2)
        return false;
    std::memcpy(address.sun_path, m_socketPath.constData(), size_t(m_socketPath.size()));
    // "@name" is a socket in the abstract namespace: its name starts with a NUL.
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(m_socketPath.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t sent = ::sendto(fd, state.constData(), size_t(state.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    ::close(fd);
    return sent == ssize_t(state.size());
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
