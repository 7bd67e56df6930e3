#include "FakeServices.h"

#include <QFile>
#include <QTimer>

namespace taviro::test {

void FakeSmsService::send(const SmsRequest& request)
{
    sent.append(request);
    if (!logPath.isEmpty()) {
        QFile log(logPath);
        if (log.open(QIODevice::Append | QIODevice::Unbuffered))
            log.write((request.mobileNumber + QLatin1Char('\t') + request.text +
                       QLatin1Char('\n'))
                          .toUtf8());
    }
    if (answer)
        QTimer::singleShot(answerDelayMsecs, this, &SmsService::meldingReady);
}

} // namespace taviro::test
