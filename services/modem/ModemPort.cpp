#include "ModemPort.h"

#include "ComPortDevices.h"

#include <QDeadlineTimer>

namespace taviro::modem {

QSerialPort::Parity parityFromLetter(const QString& letter)
{
    const QString l = letter.trimmed().toUpper();
    if (l == QLatin1String("O"))
        return QSerialPort::OddParity;
    if (l == QLatin1String("E"))
        return QSerialPort::EvenParity;
    if (l == QLatin1String("M"))
        return QSerialPort::MarkParity;
    if (l == QLatin1String("S"))
        return QSerialPort::SpaceParity;
    return QSerialPort::NoParity;
}

ModemPort::ModemPort() = default;

ModemPort::~ModemPort()
{
    close();
}

bool ModemPort::open(const LineSettings& line, QString* error)
{
    close();
    m_device = devicePathForCom(line.comNumber);
    m_port = std::make_unique<QSerialPort>();
    m_port->setPortName(m_device);
    const auto dataBits = line.databits >= 5 && line.databits <= 8 ? QSerialPort::DataBits(line.databits) : QSerialPort::Data8;
    const bool ok = m_port->open(QIODevice::ReadWrite) && m_port->setBaudRate(line.baudrate > 0 ? line.baudrate : 9600)
        && m_port->setDataBits(dataBits) && m_port->setParity(parityFromLetter(line.parity))
        && m_port->setStopBits(line.stopbits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
        && m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        if (error)
            *error = QStringLiteral("COM %1 (%2) kan niet worden geopend: %3")
                         .arg(line.comNumber)
                         .arg(m_device, m_port->errorString());
        m_port.reset();
        return false;
    }
    // DTR up tells the modem a terminal is there; some drop the line without it.
    m_port->setDataTerminalReady(true);
    m_failed = false;
    m_discardedBytes = 0;
    discardInput();
    return true;
}

void ModemPort::close()
{
    if (m_port && m_port->isOpen())
        m_port->close();
    m_port.reset();
    m_lines.clear();
    m_unsolicited.clear();
}

bool ModemPort::isOpen() const
{
    return m_port && m_port->isOpen() && !m_failed;
}

bool ModemPort::write(const QByteArray& bytes)
{
    if (!isOpen())
        return false;
    if (m_port->write(bytes) != bytes.size() || !m_port->waitForBytesWritten(2000)) {
        if (m_port->bytesToWrite() > 0 || m_port->error() != QSerialPort::NoError)
            m_failed = m_port->error() == QSerialPort::ResourceError;
        return !m_failed && m_port->bytesToWrite() == 0;
    }
    return true;
}

bool ModemPort::fill(int timeoutMs)
{
    if (!isOpen())
        return false;
    if (m_port->bytesAvailable() == 0 && !m_port->waitForReadyRead(std::max(1, timeoutMs))) {
        if (m_port->error() == QSerialPort::ResourceError)
            m_failed = true;
        return false;
    }
    m_lines.feed(m_port->readAll());
    if (const qsizetype discarded = m_lines.takeDiscarded(); discarded > 0) {
        // Once per port opening: a device that talks without line ends
        // usually keeps doing so, and the log must not fill up instead.
        if (m_discardedBytes == 0)
            qWarning("%s: %lld bytes zonder regeleinde weggegooid (een regel is nooit langer dan %lld bytes); "
                     "klopt de snelheid van de poort?",
                     qPrintable(m_device), qint64(discarded), qint64(LineSplitter::MaxLineBytes));
        m_discardedBytes += discarded;
    }
    return true;
}

std::optional<QByteArray> ModemPort::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_lines.hasLine()) {
        if (deadline.hasExpired() || !isOpen())
            return std::nullopt;
        fill(int(deadline.remainingTime()));
    }
    return m_lines.takeLine();
}

bool ModemPort::waitForPrompt(const QByteArray& prompt, int timeoutMs, QByteArray* refusal)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Lines before the prompt (an echo of the command) are passed over;
        // an error line means the modem refused the message.
        while (m_lines.hasLine()) {
            const QByteArray line = m_lines.takeLine();
            if (finalResultOf(line) == AtFinal::Error) {
                if (refusal)
                    *refusal = line.trimmed();
                return false;
            }
            if (isUnsolicited(line))
                m_unsolicited.append(line);
        }
        if (m_lines.partial().trimmed().startsWith(prompt.trimmed())) {
            m_lines.clearPartial();
            return true;
        }
        if (deadline.hasExpired() || !isOpen())
            return false;
        fill(int(deadline.remainingTime()));
    }
}

AtResult ModemPort::collect(const QByteArray& echo, int timeoutMs, const QByteArray& dataHeader)
{
    AtResult result;
    QDeadlineTimer deadline(timeoutMs);
    while (auto line = readLine(int(deadline.remainingTime()))) {
        if (!dataHeader.isEmpty() && !result.lines.isEmpty() && result.lines.back().startsWith(dataHeader)) {
            result.lines.append(line->trimmed());
            continue;
        }
        if (!echo.isEmpty() && line->trimmed() == echo.trimmed())
            continue;
        if (isUnsolicited(*line)) {
            m_unsolicited.append(*line);
            continue;
        }
        const AtFinal f = finalResultOf(*line);
        if (f != AtFinal::None) {
            result.final = f;
            result.finalLine = line->trimmed();
            return result;
        }
        result.lines.append(line->trimmed());
        if (deadline.hasExpired())
            break;
    }
    return result;
}

AtResult ModemPort::command(const QByteArray& cmd, int timeoutMs, const QByteArray& dataHeader)
{
    if (!write(cmd + '\r'))
        return {};
    return collect(cmd, timeoutMs, dataHeader);
}

AtResult ModemPort::sendAndCollect(const QByteArray& bytes, int timeoutMs)
{
    if (!write(bytes))
        return {};
    return collect({}, timeoutMs);
}

QList<QByteArray> ModemPort::takeUnsolicited()
{
    return std::exchange(m_unsolicited, {});
}

void ModemPort::discardInput()
{
    if (m_port && m_port->isOpen()) {
        m_port->clear(QSerialPort::Input);
        m_port->readAll();
    }
    m_lines.clear();
}

} // namespace taviro::modem
