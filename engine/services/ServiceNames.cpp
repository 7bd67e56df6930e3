#include "ServiceNames.h"

namespace taviro::services {

QStringList executableNames()
{
    return {QStringLiteral("TaviroComm"),       QStringLiteral("TaviroMes6"),
            QStringLiteral("TaviroSpraakReceiver"), QStringLiteral("TaviroSmsService"),
            QStringLiteral("TaviroMailSender"), QStringLiteral("TaviroAlarmEmailOntvangst")};
}

} // namespace taviro::services
