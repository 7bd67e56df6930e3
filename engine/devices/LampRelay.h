#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QSet>
#include <QTimer>

namespace taviro {

class AlarmLamp;

// On a machine where a station holds the ports, the lamp hangs on the
// station's port while the operator sits at the console beside it. The
// console asks the station over a local socket (named after the ports lock,
// so each installation has its own) to light the lamp or put it out; the
// station lights it while any console that is connected asks for it, so a
// console that closes or crashes puts its wish out with it.
class LampRelayServer : public QObject
{
    Q_OBJECT
public:
    LampRelayServer(AlarmLamp& lamp, const QString& portsLock, QObject* parent = nullptr);
    ~LampRelayServer() override;
    bool listening() const { return m_server.isListening(); }
    // The lamp port was prepared again: tell the consoles whether there is one.
    void lampChanged();

private:
    void read(QLocalSocket* console);
    void apply();

    AlarmLamp& m_lamp;
    QLocalServer m_server;
    QList<QLocalSocket*> m_consoles;
    QSet<QLocalSocket*> m_wanting;
};

class LampRelayClient : public QObject
{
    Q_OBJECT
public:
    explicit LampRelayClient(const QString& portsLock, QObject* parent = nullptr);
    ~LampRelayClient() override;
    void setLit(bool on);
    bool lampPresent() const { return m_present; }

Q_SIGNALS:
    // Whether the station has a lamp to light, as it said when this console reached it.
    void lampPresentChanged(bool present);

private:
    void connectNow();
    void read();
    void sendWish();

    QString m_name;
    QTimer m_retry; // before the socket: the socket's last signals may still start it
    QLocalSocket m_socket;
    bool m_lit = false;
    bool m_present = false;
};

// The socket's name for the installation whose ports lock is at `portsLock`.
QString lampRelayName(const QString& portsLock);

} // namespace taviro
