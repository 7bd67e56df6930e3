#include "LampRelay.h"

#include "AlarmLamp.h"

#include <QCryptographicHash>

namespace taviro {

namespace {
// How soon a console finds a station that started after it, or again after a restart.
constexpr int kRetryMsecs = 2000;
const QByteArray kOn = "aan\n", kOff = "uit\n";
} // namespace

QString lampRelayName(const QString& portsLock)
{
    // Abstract names are short; the path may not be.
    return QStringLiteral("taviro-lamp-") +
           QString::fromLatin1(QCryptographicHash::hash(portsLock.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
}

LampRelayServer::LampRelayServer(AlarmLamp& lamp, const QString& portsLock, QObject* parent)
    : QObject(parent), m_lamp(lamp)
{
    // Every account of the control room's group runs a console.
    m_server.setSocketOptions(QLocalServer::WorldAccessOption);
    const QString name = lampRelayName(portsLock);
    if (!m_server.listen(name)) {
        QLocalServer::removeServer(name); // left by a station that crashed
        m_server.listen(name);
    }
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* console = m_server.nextPendingConnection()) {
            m_consoles.append(console);
            connect(console, &QLocalSocket::readyRead, this, [this, console] { read(console); });
            connect(console, &QLocalSocket::disconnected, this, [this, console] {
                m_consoles.removeAll(console);
                m_wanting.remove(console);
                console->deleteLater();
                apply();
            });
            console->write(m_lamp.active() ? "lamp 1\n" : "lamp 0\n");
        }
    });
}

LampRelayServer::~LampRelayServer()
{
    // The connections close with the server; what they say then is no wish any more.
    for (QLocalSocket* console : std::as_const(m_consoles))
        disconnect(console, nullptr, this, nullptr);
}

void LampRelayServer::lampChanged()
{
    for (QLocalSocket* console : std::as_const(m_consoles))
        console->write(m_lamp.active() ? "lamp 1\n" : "lamp 0\n");
    apply();
}

void LampRelayServer::read(QLocalSocket* console)
{
    while (console->canReadLine()) {
        const QByteArray line = console->readLine();
        if (line == kOn)
            m_wanting.insert(console);
        else if (line == kOff)
            m_wanting.remove(console);
    }
    apply();
}

void LampRelayServer::apply()
{
    if (!m_lamp.active())
        return;
    if (!m_wanting.isEmpty() && !m_lamp.isLit())
        m_lamp.light();
    else if (m_wanting.isEmpty() && m_lamp.isLit())
        m_lamp.putOut();
}

LampRelayClient::LampRelayClient(const QString& portsLock, QObject* parent)
    : QObject(parent), m_name(lampRelayName(portsLock))
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &LampRelayClient::read);
    connect(&m_socket, &QLocalSocket::connected, this, &LampRelayClient::sendWish);
    connect(&m_socket, &QLocalSocket::disconnected, this, [this] {
        if (m_present)
            Q_EMIT lampPresentChanged(m_present = false);
        m_retry.start();
    });
    connect(&m_socket, &QLocalSocket::errorOccurred, this, [this] { m_retry.start(); });
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMsecs);
    connect(&m_retry, &QTimer::timeout, this, &LampRelayClient::connectNow);
    connectNow();
}

LampRelayClient::~LampRelayClient()
{
    // Closing the socket says "disconnected"; nobody is left to retry.
    disconnect(&m_socket, nullptr, this, nullptr);
}

void LampRelayClient::connectNow()
{
    if (m_socket.state() == QLocalSocket::UnconnectedState)
        m_socket.connectToServer(m_name);
}

void LampRelayClient::setLit(bool on)
{
    m_lit = on;
    sendWish();
}

void LampRelayClient::sendWish()
{
    if (m_socket.state() == QLocalSocket::ConnectedState)
        m_socket.write(m_lit ? kOn : kOff);
}

void LampRelayClient::read()
{
    while (m_socket.canReadLine()) {
        const QByteArray line = m_socket.readLine().trimmed();
        if (!line.startsWith("lamp "))
            continue;
        const bool present = line.endsWith('1');
        if (present != m_present)
            Q_EMIT lampPresentChanged(m_present = present);
    }
}

} // namespace taviro
