#include "ComPortDevices.h"

namespace taviro {

QString devicePathForCom(int number, const QProcessEnvironment& env)
{
    const QString overridden = env.value(QStringLiteral("TAVIRO_COM%1").arg(number));
    if (!overridden.isEmpty())
        return overridden;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

} // namespace taviro
