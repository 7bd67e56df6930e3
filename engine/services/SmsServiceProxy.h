#pragma once

#include "ServiceClient.h"
#include "ServiceInterfaces.h"

#include <QHash>
#include <QStringList>

namespace taviro {

// TaviroSmsService as the engine sees it. "send" is answered at once when the
// service has taken the message; the service's MeldingReady notification,
// carrying the send's id, says the transmission is over and how it went, and
// "sendOutcome" answers for an id whose notification the console missed.
class SmsServiceProxy : public SmsService
{
    Q_OBJECT
public:
    explicit SmsServiceProxy(ServiceClient::Options options, QObject* parent = nullptr);

    void send(const SmsRequest& request, const QString& sendId) override;
    int sendTimeoutMinutes() override;
    SmsOutcome outcome(const QString& sendId) override;
    void restartService() override;
    void finish() override;
    void watch(const SmsRequest& line, bool shared) override;
    bool readReplies() override;
    ServiceClient& client() { return m_client; }

private:
    // Remembers the outcome for a later question and tells the console.
    void ended(const QString& sendId, const SmsOutcome& outcome);

    ServiceClient m_client;
    // Recent outcomes by id, including those of sends that never reached the
    // service (a reason only we know); oldest first in m_endedOrder.
    QHash<QString, SmsOutcome> m_ended;
    QStringList m_endedOrder;
};

} // namespace taviro
