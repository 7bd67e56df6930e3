#include "FakeServices.h"

#include <QTimer>

namespace taviro::test {

void FakeSmsService::send(const SmsRequest& request)
{
    sent.append(request);
    if (answer)
        QTimer::singleShot(0, this, &SmsService::meldingReady);
}

} // namespace taviro::test
