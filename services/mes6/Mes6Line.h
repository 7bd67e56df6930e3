#pragma once

#include "ReportStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace taviro::mes6 {

// One alarm as the MES-6 unit sends it, a line at 1200 baud:
//
//   <volgcijfer>,<melder>,<functie>,<flank>,<omschrijving>*<cc>
//
// volgcijfer 0-9 counts the unit's lines, flank is 1/Op or 0/Af, and cc is
// the exclusive-or of every byte before '*', as two hexadecimal digits.
struct Mes6Line
{
    bool ok = false;
    QString problem; // why the line is refused, for the log
    int sequence = 0;
    ReceivedReport report; // one transmitter, one line
};

Mes6Line parseMes6Line(const QByteArray& line, const QDateTime& receivedAt);

// The check value of a line's body, as the unit computes it.
quint8 mes6Check(const QByteArray& body);

} // namespace taviro::mes6
