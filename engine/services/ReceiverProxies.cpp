#include "ReceiverProxies.h"

#include "ServiceProxies.h"

namespace taviro {

namespace {

// Start a receiver and hand it its port; the same call again after every restart.
bool startWith(ServiceClient& client, const QJsonObject& params)
{
    client.setStartCall(QStringLiteral("start"), params);
    if (!client.start())
        return false;
    const CallResult r = client.call(QStringLiteral("start"), params);
    return r.ok() && r.result.toBool();
}

} // namespace

CommReceiverProxy::CommReceiverProxy(ServiceClient::Options options, QObject* parent)
    : CommReceiver(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
}

bool CommReceiverProxy::startUp(const SerialLine& line)
{
    m_port = line.number;
    return startWith(m_client, {{QStringLiteral("port"), line.number},
                                {QStringLiteral("baudrate"), line.baudrate},
                                {QStringLiteral("initString"), line.initString},
                                {QStringLiteral("timeout"), line.timeout},
                                {QStringLiteral("databits"), line.databits},
                                {QStringLiteral("parity"), line.parity},
                                {QStringLiteral("stopbits"), line.stopbits}});
}

bool CommReceiverProxy::ask(const QString& method)
{
    if (!m_client.isRunning())
        return false;
    const CallResult r = m_client.call(method);
    return r.ok() && r.result.toBool();
}

bool CommReceiverProxy::stopListening()
{
    return ask(QStringLiteral("stopListening"));
}

bool CommReceiverProxy::restartListening()
{
    return ask(QStringLiteral("restartListening"));
}

void CommReceiverProxy::closeAll()
{
    m_client.stopWith(QStringLiteral("closeAll"));
}

bool CommReceiverProxy::portOpen()
{
    return ask(QStringLiteral("portOpen"));
}

bool CommReceiverProxy::isIdle()
{
    return ask(QStringLiteral("isIdle"));
}

Mes6ReceiverProxy::Mes6ReceiverProxy(ServiceClient::Options options, QObject* parent)
    : Mes6Receiver(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
}

bool Mes6ReceiverProxy::start(int portNumber, int baudrate)
{
    return startWith(m_client, {{QStringLiteral("port"), portNumber}, {QStringLiteral("baudrate"), baudrate}});
}

void Mes6ReceiverProxy::stop()
{
    m_client.stopWith(QStringLiteral("stop"));
}

SpraakReceiverProxy::SpraakReceiverProxy(ServiceClient::Options options, QObject* parent)
    : SpraakReceiver(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
}

bool SpraakReceiverProxy::start(int portNumber, const QString& baudrate)
{
    return startWith(m_client, {{QStringLiteral("port"), portNumber}, {QStringLiteral("baudrate"), baudrate}});
}

void SpraakReceiverProxy::stop()
{
    m_client.stopWith(QStringLiteral("stop"));
}

} // namespace taviro
