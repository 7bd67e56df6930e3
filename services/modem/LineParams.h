#pragma once

#include "ModemPort.h"
#include "ParamReader.h"

namespace taviro::modem {

// The line settings every serial service is started with, as the console
// sends them from its comports row; missing ones take the usual 8N1.
inline LineSettings readLineSettings(service::ParamReader& p, int defaultBaudrate)
{
    LineSettings line;
    line.comNumber = int(p.number(QStringLiteral("port")));
    line.baudrate = int(p.number(QStringLiteral("baudrate"), false, defaultBaudrate));
    line.databits = int(p.number(QStringLiteral("databits"), false, 8));
    line.parity = p.text(QStringLiteral("parity"), false, QStringLiteral("N"));
    line.stopbits = int(p.number(QStringLiteral("stopbits"), false, 1));
    return line;
}

} // namespace taviro::modem
