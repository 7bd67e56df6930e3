#pragma once

#include "ServiceClient.h"
#include "ServiceInterfaces.h"

namespace taviro {

// Every proxy owns one ServiceClient and passes its events on as its own, so
// the engine sees only the service interface. The proxies for the remaining
// services follow the same shape: translate the interface's call into one
// request, and remember the start request for restarts.
void forwardServiceEvents(ServiceClient& client, ServiceComponent& component);

class MailSenderProxy : public MailSender
{
    Q_OBJECT
public:
    explicit MailSenderProxy(ServiceClient::Options options, QObject* parent = nullptr);
    // Hands a mail to the service, which queues it in the outbox; for other
    // programs and tests; the engine queues its own mails in its transactions.
    bool send(const MailMessage& mail);
    Result<int> startTestSend(const MailMessage& mail, int secondsPerAddress) override;
    ServiceClient& client() { return m_client; }

private:
    ServiceClient m_client;
};

class AlarmEmailReceiverProxy : public AlarmEmailReceiver
{
    Q_OBJECT
public:
    explicit AlarmEmailReceiverProxy(ServiceClient::Options options, QObject* parent = nullptr);
    bool start(const MailboxSettings& mailbox) override;
    void stop() override;
    ServiceClient& client() { return m_client; }

private:
    ServiceClient m_client;
};

} // namespace taviro
