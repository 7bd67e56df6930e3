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

// The mail sender of a workstation in tests: the engine queues its mails in
// the outbox (read them with test::outboxMails), so nothing passes here.
class FakeMailSender final : public MailSender
{
    Q_OBJECT
public:
    using MailSender::MailSender;
};

} // namespace taviro::test
