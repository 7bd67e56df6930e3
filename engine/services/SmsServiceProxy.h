#pragma once

#include "ServiceClient.h"
#include "ServiceInterfaces.h"

namespace taviro {

// TaviroSmsService as the engine sees it. "send" is answered at once when the
// service has taken the message; the service's MeldingReady notification says
// the transmission is over, and "lastSendSucceeded" tells how it went.
class SmsServiceProxy : public SmsService
{
    Q_OBJECT
public:
    explicit SmsServiceProxy(ServiceClient::Options options, QObject* parent = nullptr);

    void send(const SmsRequest& request) override;
    int sendTimeoutMinutes() override;
    bool lastSendSucceeded() override;
    QString lastSendFailure() override;
    void finish() override;
    void watch(const SmsRequest& line, bool shared) override;
    bool readReplies() override;
    ServiceClient& client() { return m_client; }

private:
    ServiceClient m_client;
    bool m_lastSucceeded = false;
    // A send that never reached the service fails for a reason only we know.
    QString m_notOffered;
};

} // namespace taviro
