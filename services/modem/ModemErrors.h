#pragma once

#include <QByteArray>
#include <QString>

namespace taviro::modem {

// What a modem's error result means, for the installer who reads the log:
// "+CMS ERROR: 500" becomes "+CMS ERROR: 500 (onbekende fout; unknown error)".
// The message service codes (+CMS) are those of the SMS commands, the
// equipment codes (+CME) those of the SIM and the network; numbered and
// verbose forms are both understood. Any other line comes back as it is.
QString describeModemError(const QByteArray& finalLine);

// The meaning of one numbered code, Dutch then English; empty when unknown.
QString cmsErrorMeaning(int code);
QString cmeErrorMeaning(int code);

} // namespace taviro::modem
