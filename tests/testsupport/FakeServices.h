#pragma once

#include "ServiceInterfaces.h"

#include <QHash>
#include <QList>
#include <QStringList>

namespace taviro::test {

// Records every SMS; the transmission ends (sendEnded, under the send's own
// id) from the event loop, as a real service's would. It misbehaves as a real
// service can when told to: it stays silent (a hanging modem), answers late,
// refuses a send while another runs, ends a send after the console gave up on
// it, repeats the end of an earlier send, and forgets every send when it is
// restarted.
class FakeSmsService final : public SmsService
{
    Q_OBJECT
public:
    using SmsService::SmsService;
    void send(const SmsRequest& request, const QString& sendId) override;
    int sendTimeoutMinutes() override;
    SmsOutcome outcome(const QString& sendId) override;
    void finish() override { ++finishCalls; }

    // Ends the send that runs now as the modem decides: sent or not.
    void endRunning(bool modemAccepts);
    // Tells the end of the oldest finished send once more.
    void repeatOldOutcome();
    // The service died and was started again: what ran is lost, unsent.
    void restart();
    void restartService() override
    {
        ++restarts;
        restart();
    }
    // Ends one send as the modem decides, even one the console gave up on.
    void endSend(const QString& sendId, bool modemAccepts);
    bool running() const { return !runningId.isEmpty(); }

    QList<SmsRequest> sent;        // every SMS the service took
    QList<SmsRequest> accepted;    // those the modem accepted
    QStringList acceptedIds;
    bool succeed = true;
    QStringList refusedNumbers;    // the modem refuses these every time
    bool answer = true;            // false: never end on its own (a hanging modem)
    bool refuseWhileBusy = true;   // a send handed over while another runs is refused
    int refusedBusy = 0;
    int restarts = 0;
    int timeoutMinutes = 1;
    int finishCalls = 0;
    int answerDelayMsecs = 0; // the modem's time on air
    // > 0: asking for the time-out runs the event loop this long, as a
    // question to the real service does.
    int timeoutQuestionMsecs = 0;
    // >= 0: this long after taking a send, the end of the oldest finished
    // send is told once more, as a confused service would, during the wait.
    int echoOldOutcomeAfterMsecs = -1;
    // When set, every SMS is also appended to this file at once, so a test
    // can count what a process sent before it was killed.
    QString logPath;

    QString runningId;

private:
    QHash<QString, SmsRequest> requests;
    QHash<QString, SmsOutcome> outcomes;
    QStringList finished; // oldest first
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
