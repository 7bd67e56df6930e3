#pragma once

#include "AtResponse.h"

#include <QByteArray>
#include <QList>
#include <QSerialPort>
#include <QString>

#include <memory>
#include <optional>

namespace taviro::modem {

// A port as the comports table describes it.
struct LineSettings
{
    int comNumber = 1;
    int baudrate = 9600;
    int databits = 8;
    QString parity = QStringLiteral("N"); // N, O, E, M or S
    int stopbits = 1;
};

// One modem on one serial port, spoken to from a single worker thread with
// blocking waits: the service's request loop never touches it, so a modem
// that hangs never keeps the console waiting for an answer.
class ModemPort
{
public:
    ModemPort();
    ~ModemPort();

    // Opens the COM port (TAVIRO_COM<n> or /dev/ttyS(n-1)); false with a Dutch reason.
    bool open(const LineSettings& line, QString* error);
    void close();
    bool isOpen() const;
    QString device() const { return m_device; }

    bool write(const QByteArray& bytes);
    // The next non-empty line within the time; nothing on time-out or when the port failed.
    std::optional<QByteArray> readLine(int timeoutMs);
    // Waits for bytes that arrive without a line end (the "> " message prompt).
    // When the modem refuses instead, its error line goes to `refusal`.
    bool waitForPrompt(const QByteArray& prompt, int timeoutMs, QByteArray* refusal = nullptr);
    // Writes `cmd` + CR and collects the answer up to its final result code.
    // Unsolicited lines met on the way are kept for takeUnsolicited().
    // The line right after one that starts with `dataHeader` is data, even
    // when it reads "OK": a stored message whose text is the reply word.
    AtResult command(const QByteArray& cmd, int timeoutMs, const QByteArray& dataHeader = {});
    // Sends raw bytes (a message body ended by Ctrl-Z) and collects the answer.
    AtResult sendAndCollect(const QByteArray& bytes, int timeoutMs);
    QList<QByteArray> takeUnsolicited();
    // Forgets whatever the modem said before now.
    void discardInput();
    // True when the port reported an error since it was opened (device gone).
    bool failed() const { return m_failed; }

private:
    bool fill(int timeoutMs);
    AtResult collect(const QByteArray& echo, int timeoutMs, const QByteArray& dataHeader = {});

    std::unique_ptr<QSerialPort> m_port;
    QString m_device;
    LineSplitter m_lines;
    QList<QByteArray> m_unsolicited;
    bool m_failed = false;
    qint64 m_discardedBytes = 0; // since the port was opened
};

// "N"/"O"/"E"/"M"/"S" as the serial port wants it; anything else is no parity.
QSerialPort::Parity parityFromLetter(const QString& letter);

} // namespace taviro::modem
