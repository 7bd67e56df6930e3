#include "PortMapping.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>

namespace taviro {

namespace {
const QString kPrefix = QStringLiteral("TAVIRO_COM");
}

QString deviceForCom(int number, const QProcessEnvironment& env)
{
    const QString own = env.value(kPrefix + QString::number(number));
    if (!own.isEmpty())
        return own;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

QList<int> comNumbersFor(const QStringList& devices, const QProcessEnvironment& env)
{
    QList<int> numbers;
    static const QRegularExpression ttyS(QStringLiteral("^/dev/ttyS(\\d+)$"));
    for (const QString& device : devices) {
        const auto m = ttyS.match(device);
        if (m.hasMatch())
            numbers << m.captured(1).toInt() + 1;
    }
    for (const QString& key : env.keys()) {
        if (!key.startsWith(kPrefix))
            continue;
        bool ok = false;
        const int n = key.mid(kPrefix.size()).toInt(&ok);
        const QString device = env.value(key);
        if (ok && n >= 1 && (devices.contains(device) || QFileInfo::exists(device)))
            numbers << n;
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

QList<int> workstationComNumbers()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices << info.systemLocation();
    return comNumbersFor(devices, QProcessEnvironment::systemEnvironment());
}

} // namespace taviro
