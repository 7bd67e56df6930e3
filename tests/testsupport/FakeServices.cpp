#include "FakeServices.h"

#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

namespace taviro::test {

namespace {
// One line per message, written at once so a killed process loses none.
void appendLine(const QString& path, const QString& to, const QString& text)
{
    if (path.isEmpty())
        return;
    QFile log(path);
    if (log.open(QIODevice::Append | QIODevice::Unbuffered))
        log.write((to + QLatin1Char('\t') + QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')) +
                   QLatin1Char('\n'))
                      .toUtf8());
}
} // namespace

int FakeSmsService::sendTimeoutMinutes()
{
    if (timeoutQuestionMsecs > 0) {
        QEventLoop answering;
        QTimer::singleShot(timeoutQuestionMsecs, &answering, &QEventLoop::quit);
        answering.exec();
    }
    return timeoutMinutes;
}

void FakeSmsService::send(const SmsRequest& request, const QString& sendId)
{
    if (running() && refuseWhileBusy) {
        ++refusedBusy;
        const SmsOutcome busy{SmsOutcome::State::Busy, QStringLiteral("er loopt al een SMS-verzending")};
        QTimer::singleShot(0, this, [this, sendId, busy] { Q_EMIT sendEnded(sendId, busy); });
        return;
    }
    sent.append(request);
    appendLine(logPath, request.mobileNumber, request.text);
    runningId = sendId;
    requests.insert(sendId, request);
    outcomes.insert(sendId, {SmsOutcome::State::Running, {}});
    if (echoOldOutcomeAfterMsecs >= 0)
        QTimer::singleShot(echoOldOutcomeAfterMsecs, this, &FakeSmsService::repeatOldOutcome);
    if (answer)
        QTimer::singleShot(answerDelayMsecs, this, [this, sendId, request] {
            endSend(sendId, succeed && !refusedNumbers.contains(request.mobileNumber));
        });
}

void FakeSmsService::endRunning(bool modemAccepts)
{
    if (running())
        endSend(QString(runningId), modemAccepts); // a copy: ending clears runningId
}

void FakeSmsService::endSend(const QString& sendId, bool modemAccepts)
{
    if (outcomes.value(sendId).state != SmsOutcome::State::Running)
        return; // ended already, or forgotten by a restart
    const SmsOutcome o = modemAccepts ? SmsOutcome{SmsOutcome::State::Sent, {}}
                                      : SmsOutcome{SmsOutcome::State::Failed, QStringLiteral("+CMS ERROR: 500")};
    if (modemAccepts) {
        accepted.append(requests.value(sendId));
        acceptedIds.append(sendId);
    }
    outcomes.insert(sendId, o);
    finished.append(sendId);
    if (runningId == sendId)
        runningId.clear();
    Q_EMIT sendEnded(sendId, o);
}

void FakeSmsService::repeatOldOutcome()
{
    if (!finished.isEmpty())
        Q_EMIT sendEnded(finished.first(), outcomes.value(finished.first()));
}

void FakeSmsService::restart()
{
    outcomes.clear();
    finished.clear();
    runningId.clear();
}

SmsOutcome FakeSmsService::outcome(const QString& sendId)
{
    return outcomes.value(sendId, {SmsOutcome::State::Unknown, QStringLiteral("onbekende verzending")});
}

} // namespace taviro::test
