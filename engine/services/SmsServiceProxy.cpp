#include "SmsServiceProxy.h"

#include "ServiceProxies.h"

#include <QTimer>

namespace taviro {

namespace {
// What the console waits for when the service cannot even say its own time-out.
constexpr int kFallbackTimeoutMinutes = 2;
} // namespace

SmsServiceProxy::SmsServiceProxy(ServiceClient::Options options, QObject* parent)
    : SmsService(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
}

void SmsServiceProxy::send(const SmsRequest& r)
{
    m_lastSucceeded = false;
    const QJsonObject params{{QStringLiteral("port"), r.line.number},
                             {QStringLiteral("baudrate"), r.line.baudrate},
                             {QStringLiteral("initString"), r.line.initString},
                             {QStringLiteral("databits"), r.line.databits},
                             {QStringLiteral("parity"), r.line.parity},
                             {QStringLiteral("stopbits"), r.line.stopbits},
                             {QStringLiteral("isGsm"), r.isGsm},
                             {QStringLiteral("recipientName"), r.recipientName},
                             {QStringLiteral("mobileNumber"), r.mobileNumber},
                             {QStringLiteral("sender"), r.sender},
                             {QStringLiteral("text"), r.text},
                             {QStringLiteral("smsCentre"), r.smsCentre}};
    if (!m_client.isRunning() && !m_client.start()) {
        Q_EMIT meldingMessage(QStringLiteral("SMS-dienst kan niet worden gestart; SMS aan %1 niet verzonden.")
                                  .arg(r.recipientName),
                              0);
        // The transmission is over at once: the console's wait ends and the
        // dispatch stays pending for the next pass.
        QTimer::singleShot(0, this, &SmsServiceProxy::meldingReady);
        return;
    }
    const CallResult result = m_client.call(QStringLiteral("send"), params);
    if (!result.ok()) {
        Q_EMIT meldingMessage(QStringLiteral("SMS aan %1 niet aangeboden: %2").arg(r.recipientName, result.error), 0);
        QTimer::singleShot(0, this, &SmsServiceProxy::meldingReady);
    }
}

int SmsServiceProxy::sendTimeoutMinutes()
{
    const CallResult r = m_client.call(QStringLiteral("sendTimeout"));
    return r.ok() && r.result.toInt() > 0 ? r.result.toInt() : kFallbackTimeoutMinutes;
}

bool SmsServiceProxy::lastSendSucceeded()
{
    const CallResult r = m_client.call(QStringLiteral("lastSendSucceeded"));
    m_lastSucceeded = r.ok() && r.result.toBool();
    return m_lastSucceeded;
}

void SmsServiceProxy::finish()
{
    if (m_client.isRunning())
        m_client.call(QStringLiteral("finish"));
}

} // namespace taviro
