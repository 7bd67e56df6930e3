#include "ServiceProxies.h"

namespace taviro {

void forwardServiceEvents(ServiceClient& client, ServiceComponent& component)
{
    QObject::connect(&client, &ServiceClient::meldingReady, &component,
                     &ServiceComponent::meldingReady);
    QObject::connect(&client, &ServiceClient::meldingMessage, &component,
                     &ServiceComponent::meldingMessage);
}

MailSenderProxy::MailSenderProxy(ServiceClient::Options options, QObject* parent)
    : MailSender(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
    connect(&m_client, &ServiceClient::notified, this, [this](const QString& method, const QJsonObject& params) {
        if (method == QStringLiteral("TestSendDone"))
            Q_EMIT testSendDone(params.value(QStringLiteral("sent")).toBool(),
                                params.value(QStringLiteral("reason")).toString());
    });
    // Started at once, so the outbox is drained from this workstation too.
    m_client.start();
}

bool MailSenderProxy::send(const MailMessage& mail)
{
    QJsonObject params{{QStringLiteral("address"), mail.address},
                       {QStringLiteral("recipientName"), mail.recipientName},
                       {QStringLiteral("subject"), mail.subject},
                       {QStringLiteral("body"), mail.body}};
    const bool withAttachment = !mail.attachmentPath.isEmpty();
    if (withAttachment)
        params.insert(QStringLiteral("attachmentPath"), mail.attachmentPath);
    const CallResult r = m_client.call(
        withAttachment ? QStringLiteral("sendWithAttachment") : QStringLiteral("send"), params);
    // A refusal by the service is already in the event log through its own
    // message; only a service that cannot be reached is reported here.
    if (r.transportFailed())
        Q_EMIT meldingMessage(
            QStringLiteral("Mail \"%1\" niet aangeboden: %2").arg(mail.subject, r.error), 0);
    return r.ok() && r.result.toBool();
}

Result<int> MailSenderProxy::startTestSend(const MailMessage& mail, int secondsPerAddress)
{
    const CallResult r = m_client.call(QStringLiteral("testSend"),
                                       {{QStringLiteral("address"), mail.address},
                                        {QStringLiteral("recipientName"), mail.recipientName},
                                        {QStringLiteral("subject"), mail.subject},
                                        {QStringLiteral("body"), mail.body},
                                        {QStringLiteral("secondsPerAddress"), secondsPerAddress}});
    if (!r.ok())
        return Result<int>::failure(r.error);
    return r.result.toInt(1);
}

AlarmEmailReceiverProxy::AlarmEmailReceiverProxy(ServiceClient::Options options, QObject* parent)
    : AlarmEmailReceiver(parent), m_client(std::move(options))
{
    forwardServiceEvents(m_client, *this);
}

bool AlarmEmailReceiverProxy::start(const MailboxSettings& mailbox)
{
    const QJsonObject params{{QStringLiteral("server"), mailbox.server},
                             {QStringLiteral("port"), mailbox.port},
                             {QStringLiteral("userName"), mailbox.userName},
                             {QStringLiteral("password"), mailbox.password},
                             {QStringLiteral("timeout"), mailbox.timeout},
                             {QStringLiteral("interval"), mailbox.interval}};
    m_client.setStartCall(QStringLiteral("start"), params);
    if (!m_client.start())
        return false;
    return m_client.call(QStringLiteral("start"), params).ok();
}

void AlarmEmailReceiverProxy::stop()
{
    m_client.stopWith(QStringLiteral("stop"));
}

} // namespace taviro
