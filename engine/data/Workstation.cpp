#include "Workstation.h"

#include <QSysInfo>
#include <QUuid>

namespace taviro {

Workstation Workstation::starting(const QString& naam, const QString& soort)
{
    return {naam, soort, QUuid::createUuid().toString(QUuid::WithoutBraces)};
}

QString defaultStationName()
{
    const QString named = qEnvironmentVariable("TAVIRO_STATION").trimmed();
    return named.isEmpty() ? QSysInfo::machineHostName() : named;
}

} // namespace taviro
