#pragma once

#include "ReportStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace taviro::comm {

// Reads a dialling transmitter's report, one line at a time, in the line
// format of docs/receivers.md:
//
//   MELDER <alias>;<volgnummer>[;<naam>]
//   ALARM <functie>;<flank>;<omschrijving>     (one or more)
//   EINDE <checksum>
//
// The checksum is the sum of the bytes of every line before EINDE (without
// their line ends), modulo 65536, as four hexadecimal digits.
class TransmitterReportReader
{
public:
    enum class State { Waiting, Reading, Complete, Bad };

    explicit TransmitterReportReader(QDateTime receivedAt = QDateTime::currentDateTime());

    // Takes the next line (without its line end). Lines before MELDER are
    // passed over (modem noise); a malformed line makes the report Bad.
    State feed(const QByteArray& line);
    State state() const { return m_state; }
    // Why the report is bad, for the NAK answer: CHECKSUM or FORMAAT.
    const QString& problem() const { return m_problem; }
    const ReceivedReport& report() const { return m_report; }
    int sequence() const { return m_sequence; }
    quint16 checksum() const { return m_sum; }
    // Starts over for a repeated attempt in the same call.
    void reset();

    static constexpr int MaxLines = 99;

private:
    State fail(const QString& problem);

    QDateTime m_receivedAt;
    State m_state = State::Waiting;
    QString m_problem;
    ReceivedReport m_report;
    int m_sequence = 0;
    quint16 m_sum = 0;
};

// The checksum of a report's lines, as a transmitter computes it.
quint16 reportChecksum(const QList<QByteArray>& lines);

} // namespace taviro::comm
