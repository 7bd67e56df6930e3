#pragma once

#include "ServiceInterfaces.h"

#include <QList>
#include <QStringList>

namespace taviro::test {

// Records every SMS; the transmission ends (meldingReady) from the event
// loop, as a real service's would, unless told to stay silent.
class FakeSmsService final : public SmsService
{
    Q_OBJECT
public:
    using SmsService::SmsService;
    void send(const SmsRequest& request) override;
    int sendTimeoutMinutes() override { return timeoutMinutes; }
    bool lastSendSucceeded() override
    {
        return succeed && (sent.isEmpty() || !refusedNumbers.contains(sent.last().mobileNumber));
    }
    void finish() override { ++finishCalls; }

    QList<SmsRequest> sent;
    bool succeed = true;
    QStringList refusedNumbers; // the modem refuses these every time
    bool answer = true; // false: never raise meldingReady (a hanging modem)
    int timeoutMinutes = 1;
    int finishCalls = 0;
    int answerDelayMsecs = 0; // the modem's time on air
    // When set, every SMS is also appended to this file at once, so a test
    // can count what a process sent before it was killed.
    QString logPath;
};

class FakeMailSender final : public MailSender
{
    Q_OBJECT
public:
    using MailSender::MailSender;
    bool send(const MailMessage& mail) override;
    QList<MailMessage> sent; // what was handed over and taken
    bool accept = true;      // false: the mail service refuses every mail
    QString logPath;         // as FakeSmsService::logPath
    int handOverMsecs = 0;   // the call to the mail service, before it holds the mail
};

} // namespace taviro::test
