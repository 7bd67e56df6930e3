#include "FakeServices.h"

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

void FakeSmsService::send(const SmsRequest& request)
{
    sent.append(request);
    appendLine(logPath, request.mobileNumber, request.text);
    if (answer)
        QTimer::singleShot(answerDelayMsecs, this, &SmsService::meldingReady);
}

} // namespace taviro::test
