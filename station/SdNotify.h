#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace taviro {

// Tells the service manager how the station is doing, through the socket it
// names in NOTIFY_SOCKET (the system library speaks the protocol). Without
// that variable every call does nothing, so the station runs the same by
// hand. The variables stay in the station's environment for later messages;
// the services it starts never get them (ServiceClient leaves them out). The watchdog pings come from the event loop itself:
// a station whose loop hangs stops pinging and is restarted.
class SdNotify : public QObject
{
    Q_OBJECT
public:
    // Reads NOTIFY_SOCKET and WATCHDOG_USEC (and WATCHDOG_PID, which must be
    // ours when set).
    explicit SdNotify(QObject* parent = nullptr);

    bool active() const { return m_active; }
    // Milliseconds between pings, half the watchdog's time; 0 without a watchdog.
    int pingIntervalMs() const { return m_pingMs; }

    void ready();
    void stopping();
    // Starts pinging WATCHDOG=1 when the service manager asked for it.
    void startWatchdog();

    // Sends one state message; false when it could not be delivered.
    bool send(const QByteArray& state) const;

private:
    bool m_active = false;
    int m_pingMs = 0;
    QTimer m_ping;
};

} // namespace taviro
