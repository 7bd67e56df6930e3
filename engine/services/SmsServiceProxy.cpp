#include "SmsServiceProxy.h"

#include "ServiceProxies.h"

#include <QTimer>

namespace taviro {

namespace {
// What the console waits for when the service cannot even say its own time-out.
constexpr int kFallbackTimeoutMinutes = 2;

QJsonObject lineParams(const SmsRequest& r)
{
    return {{QStringLiteral("port"), r.line.number},         {QStringLiteral("baudrate"), r.line.baudrate},
            {QStringLiteral("initString"), r.line.initString}, {QStringLiteral("databits"), r.line.databits},
            {QStringLiteral("parity"), r.line.parity},         {QStringLiteral("stopbits"), r.line.stopbits},
            {QStringLiteral("isGsm"), r.isGsm}};
}
} // namespace

SmsServiceProxy::SmsServiceProxy(ServiceClient::Options options, QObject* parent)
    : SmsService(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
    connect(&m_client, &ServiceClient::notified, this, [this](const QString& method, const QJsonObject& params) {
        if (method == QStringLiteral("RepliesRead"))
            Q_EMIT repliesRead();
        else if (method == QStringLiteral("ModemState"))
            Q_EMIT modemStateChanged(params.value(QStringLiteral("text")).toString(),
                                     params.value(QStringLiteral("ready")).toBool());
    });
}

void SmsServiceProxy::send(const SmsRequest& r)
{
    m_lastSucceeded = false;
    m_notOffered.clear();
    QJsonObject params = lineParams(r);
    params.insert(QStringLiteral("recipientName"), r.recipientName);
    params.insert(QStringLiteral("mobileNumber"), r.mobileNumber);
    params.insert(QStringLiteral("sender"), r.sender);
    params.insert(QStringLiteral("text"), r.text);
    params.insert(QStringLiteral("smsCentre"), r.smsCentre);
    if (!m_client.isRunning() && !m_client.start()) {
        m_notOffered = QStringLiteral("de SMS-dienst kan niet worden gestart");
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
        m_notOffered = result.error;
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

QString SmsServiceProxy::lastSendFailure()
{
    if (!m_notOffered.isEmpty())
        return m_notOffered;
    const CallResult r = m_client.call(QStringLiteral("lastSendFailure"));
    return r.ok() ? r.result.toString() : r.error;
}

void SmsServiceProxy::watch(const SmsRequest& r, bool shared)
{
    if (r.line.number <= 0 || !r.isGsm) {
        // No GSM modem to look after: a running service stops watching the old one.
        m_client.clearStartCall();
        if (m_client.isRunning())
            m_client.call(QStringLiteral("watch"), {{QStringLiteral("port"), 0}});
        return;
    }
    QJsonObject params = lineParams(r);
    params.insert(QStringLiteral("shared"), shared);
    // Repeated after every restart, so a restarted service reads replies at once.
    m_client.setStartCall(QStringLiteral("watch"), params);
    if (!m_client.isRunning() && !m_client.start()) {
        Q_EMIT meldingMessage(QStringLiteral("SMS-dienst kan niet worden gestart; SMS-antwoorden worden niet gelezen."), 0);
        return;
    }
    const CallResult result = m_client.call(QStringLiteral("watch"), params);
    if (!result.ok())
        Q_EMIT meldingMessage(QStringLiteral("GSM-modem op COM %1 wordt niet bewaakt: %2").arg(r.line.number).arg(result.error), 0);
}

bool SmsServiceProxy::readReplies()
{
    if (!m_client.isRunning())
        return false;
    return m_client.call(QStringLiteral("poll"), {{QStringLiteral("report"), true}}).ok();
}

void SmsServiceProxy::finish()
{
    if (m_client.isRunning())
        m_client.call(QStringLiteral("finish"));
}

} // namespace taviro
