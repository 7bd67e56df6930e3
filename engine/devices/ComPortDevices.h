#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace taviro {

// COM number n means /dev/ttyS(n-1), unless TAVIRO_COM<n> names another
// device (a USB adapter such as /dev/ttyUSB0, or a socat pty in tests). The
// console passes these variables on to every service it starts.
QString devicePathForCom(int number, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

} // namespace taviro
