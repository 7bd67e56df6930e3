#include "SmsServiceProxy.h"

#include "ServiceProxies.h"

#include <QTimer>

namespace taviro {

namespace {
// What the console waits for when the service cannot even say its own time-out.
constexpr int kFallbackTimeoutMinutes = 2;
// The service's refusal while another send is still under way (docs/sms.md).
constexpr int kSmsBusy = -32001;
// The service took a send with this id before and will not send it again.
constexpr int kSmsAlreadyTaken = -32002;
// Outcomes kept for the console's later question; it asks within minutes.
constexpr int kOutcomesKept = 256;

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
        if (method == QStringLiteral("MeldingReady")) {
            const QString id = params.value(QStringLiteral("sendId")).toString();
            if (!id.isEmpty())
                ended(id, {params.value(QStringLiteral("sent")).toBool() ? SmsOutcome::State::Sent
                                                                          : SmsOutcome::State::Failed,
                           params.value(QStringLiteral("reason")).toString()});
        } else if (method == QStringLiteral("RepliesRead")) {
            Q_EMIT repliesRead();
        } else if (method == QStringLiteral("ModemState")) {
            Q_EMIT modemStateChanged(params.value(QStringLiteral("text")).toString(),
                                     params.value(QStringLiteral("ready")).toBool());
        }
    });
}

void SmsServiceProxy::ended(const QString& sendId, const SmsOutcome& outcome)
{
    if (!m_ended.contains(sendId))
        m_endedOrder.append(sendId);
    m_ended.insert(sendId, outcome);
    while (m_endedOrder.size() > kOutcomesKept)
        m_ended.remove(m_endedOrder.takeFirst());
    Q_EMIT sendEnded(sendId, outcome);
}

void SmsServiceProxy::send(const SmsRequest& r, const QString& sendId)
{
    QJsonObject params = lineParams(r);
    params.insert(QStringLiteral("recipientName"), r.recipientName);
    params.insert(QStringLiteral("mobileNumber"), r.mobileNumber);
    params.insert(QStringLiteral("sender"), r.sender);
    params.insert(QStringLiteral("text"), r.text);
    params.insert(QStringLiteral("smsCentre"), r.smsCentre);
    params.insert(QStringLiteral("sendId"), sendId);
    // Ends the console's wait from the event loop, as a real end would.
    auto endSoon = [this, sendId](SmsOutcome o) {
        QTimer::singleShot(0, this, [this, sendId, o] { ended(sendId, o); });
    };
    if (!m_client.isRunning() && !m_client.start()) {
        Q_EMIT meldingMessage(QStringLiteral("SMS-dienst kan niet worden gestart; SMS aan %1 niet verzonden.")
                                  .arg(r.recipientName),
                              0);
        endSoon({SmsOutcome::State::Failed, QStringLiteral("de SMS-dienst kan niet worden gestart")});
        return;
    }
    const CallResult result = m_client.call(QStringLiteral("send"), params);
    if (result.ok())
        return;
    if (result.errorCode == kSmsAlreadyTaken) {
        // This very send was taken before (the request went twice): its end
        // is told, or will be, under its id; a second end would contradict it.
        Q_EMIT meldingMessage(QStringLiteral("SMS aan %1: %2").arg(r.recipientName, result.error), 1);
        return;
    }
    if (result.errorCode == CallResult::TimedOut) {
        // The service may have taken it after all: the console's wait runs
        // out and asks for this id, rather than sending it a second time.
        Q_EMIT meldingMessage(QStringLiteral("SMS aan %1: %2").arg(r.recipientName, result.error), 0);
        return;
    }
    Q_EMIT meldingMessage(QStringLiteral("SMS aan %1 niet aangeboden: %2").arg(r.recipientName, result.error), 0);
    endSoon({result.errorCode == kSmsBusy ? SmsOutcome::State::Busy : SmsOutcome::State::Failed, result.error});
}

int SmsServiceProxy::sendTimeoutMinutes()
{
    const CallResult r = m_client.call(QStringLiteral("sendTimeout"));
    return r.ok() && r.result.toInt() > 0 ? r.result.toInt() : kFallbackTimeoutMinutes;
}

SmsOutcome SmsServiceProxy::outcome(const QString& sendId)
{
    if (const auto known = m_ended.constFind(sendId); known != m_ended.constEnd())
        return *known;
    if (!m_client.isRunning())
        return {SmsOutcome::State::Unknown, QStringLiteral("de SMS-dienst draait niet")};
    const CallResult r = m_client.call(QStringLiteral("sendOutcome"), {{QStringLiteral("sendId"), sendId}});
    if (!r.ok())
        return {r.errorCode == CallResult::NotRunning ? SmsOutcome::State::Unknown : SmsOutcome::State::Running,
                r.error};
    const QJsonObject o = r.result.toObject();
    const QString state = o.value(QStringLiteral("state")).toString();
    const QString reason = o.value(QStringLiteral("reason")).toString();
    if (state == QStringLiteral("sent"))
        return {SmsOutcome::State::Sent, reason};
    if (state == QStringLiteral("failed"))
        return {SmsOutcome::State::Failed, reason};
    if (state == QStringLiteral("running"))
        return {SmsOutcome::State::Running, reason};
    return {SmsOutcome::State::Unknown, QStringLiteral("de SMS-dienst kent deze verzending niet (opnieuw gestart)")};
}

void SmsServiceProxy::restartService()
{
    Q_EMIT meldingMessage(QStringLiteral("SMS-dienst wordt opnieuw gestart: een verzending blijft onderweg"), 0);
    m_client.restart();
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
