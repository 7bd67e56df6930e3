#pragma once

#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace taviro {

// Installers and the stored port rows speak of COM numbers (1 = COM1); Linux
// opens devices. COM n is /dev/ttyS(n-1) unless TAVIRO_COM<n> names another
// device, such as a USB adapter or, in tests, a pseudo-terminal.
QString deviceForCom(int number,
                     const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// The COM numbers present on this workstation, ascending: every /dev/ttyS<k>
// among the devices found, plus every TAVIRO_COM<n> whose device exists.
QList<int> comNumbersFor(const QStringList& devices, const QProcessEnvironment& env);
// The same for the serial ports Qt finds on this machine.
QList<int> workstationComNumbers();

} // namespace taviro
