#include "FakeModem.h"

#include <QDateTime>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace taviro::test {

namespace {
constexpr char CtrlZ = 0x1a;
constexpr char Escape = 0x1b;

} // namespace

FakeModem::FakeModem()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    // Holding the terminal side open keeps the pair alive while a service
    // closes and reopens its port; raw, so nothing is echoed back to us.
    m_slaveKeeper = ::open(ptsname(m_master), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(m_slaveKeeper, &t);
    cfmakeraw(&t);
    tcsetattr(m_slaveKeeper, TCSANOW, &t);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_thread = std::thread([this] { run(); });
}

FakeModem::~FakeModem()
{
    vanish();
}

void FakeModem::vanish()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeeper = m_master = -1;
}

void FakeModem::run()
{
    while (!m_stop) {
        pollfd p{m_master, POLLIN, 0};
        const int n = ::poll(&p, 1, 50);
        if (n > 0 && (p.revents & POLLIN)) {
            char buf[512];
            const ssize_t got = ::read(m_master, buf, sizeof buf);
            if (got > 0)
                handleBytes(QByteArray(buf, int(got)));
        }
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (m_ringing && !m_inCall && now - m_lastRingMs > 1000) {
            m_lastRingMs = now;
            reply("RING");
        }
    }
}

void FakeModem::send(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0 && !m_stop) {
        const ssize_t n = ::write(m_master, p, size_t(left));
        if (n > 0) {
            p += n;
            left -= n;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void FakeModem::handleBytes(const QByteArray& bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_raw.append(bytes);
    }
    if (m_mood == Mood::Silent)
        return;
    for (char c : bytes) {
        if (m_inBody) {
            if (c == CtrlZ || c == Escape) {
                m_inBody = false;
                if (c == Escape)
                    continue;
                {
                    std::lock_guard lock(m_mutex);
                    m_submitted.append({m_bodyCommand, m_buffer, m_pduMode});
                }
                m_buffer.clear();
                if (m_submitDelayMs > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(int(m_submitDelayMs)));
                reply("+CMGS: " + QByteArray::number(++m_reference % 256));
                reply("OK");
            } else {
                m_buffer.append(c);
            }
            continue;
        }
        if (c == Escape || c == CtrlZ)
            continue; // outside a message these mean nothing to a modem
        if (c == '\r' || c == '\n') {
            const QByteArray line = std::exchange(m_buffer, {}).trimmed();
            if (line.isEmpty())
                continue;
            if (m_inCall)
                handleDataLine(line);
            else
                handleCommand(line);
            continue;
        }
        m_buffer.append(c);
        if (m_inCall && m_buffer == "+++") { // escape to command mode
            m_buffer.clear();
            m_inCall = false;
            reply("OK");
        }
    }
}

void FakeModem::handleDataLine(const QByteArray& line)
{
    std::lock_guard lock(m_mutex);
    m_callAnswers.append(line);
    // The transmitter has what it wanted once its report is acknowledged: it hangs up.
    if (line.startsWith("ACK") && !m_staysOnLine) {
        m_inCall = false;
        m_callOver = true;
        reply("NO CARRIER");
    }
}

void FakeModem::handleCommand(const QByteArray& cmd)
{
    {
        std::lock_guard lock(m_mutex);
        m_commands.append(cmd);
    }
    if (m_echo)
        send(cmd + "\r");
    int late = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_latePrefix.isEmpty() && cmd.toUpper().startsWith(m_latePrefix))
            late = m_lateMs;
    }
    if (late > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(late));
    if (m_mood == Mood::Garbage) {
        reply("#?~ ZZ%% 0x7f garbled");
        return;
    }
    const QByteArray up = cmd.toUpper();
    if (up == "ATE0") {
        m_echo = false;
        reply("OK");
    } else if (up.startsWith("AT+CMGF=")) {
        m_pduMode = up.endsWith('0');
        reply("OK");
    } else if (up.startsWith("AT+CMGS=") && [this] { std::lock_guard lock(m_mutex); return !m_refusal.isEmpty(); }()) {
        std::lock_guard lock(m_mutex);
        reply(m_refusal);
    } else if (up.startsWith("AT+CMGS=")) {
        m_bodyCommand = cmd;
        m_inBody = true;
        m_buffer.clear();
        send("\r\n> ");
    } else if (up.startsWith("AT+CPIN?") || up.startsWith("AT+CREG?") || up.startsWith("AT+CGREG?")
               || up.startsWith("AT+CSQ")) {
        std::lock_guard lock(m_mutex);
        const QByteArray answer = up.startsWith("AT+CPIN") ? m_cpin
            : up.startsWith("AT+CREG")                     ? m_creg
            : up.startsWith("AT+CGREG")                    ? m_cgreg
                                                           : m_csq;
        if (!answer.isEmpty() && !answer.contains("ERROR"))
            reply(answer);
        reply(answer.contains("ERROR") ? answer : QByteArray("OK"));
    } else if (up.startsWith("AT+CMGL") && m_pduMode && !m_listsInTextMode) {
        std::lock_guard lock(m_mutex);
        for (const Stored& s : m_store)
            send("\r\n+CMGL: " + QByteArray::number(s.index) + ",0,,"
                 + QByteArray::number(s.announced >= 0 ? s.announced : tpduLength(s.pdu))
                 + "\r\n" + s.pdu);
        send(m_listingExtra);
        reply("OK");
    } else if (up.startsWith("AT+CMGL")) {
        std::lock_guard lock(m_mutex);
        for (const Stored& s : m_store)
            send("\r\n+CMGL: " + QByteArray::number(s.index) + ",\"REC UNREAD\",\"" + s.sender.toUtf8()
                 + "\",,\"26/12/06,04:00:00+04\"\r\n" + s.text.toUtf8());
        reply("OK");
    } else if (up.startsWith("AT+CMGD=") && m_deleteFails) {
        reply("+CMS ERROR: 321");
    } else if (up.startsWith("AT+CMGD=")) {
        const int index = up.mid(8).toInt();
        std::lock_guard lock(m_mutex);
        m_store.removeIf([index](const Stored& s) { return s.index == index; });
        reply("OK");
    } else if (up == "ATA") {
        if (!m_ringing) {
            reply("NO CARRIER");
            return;
        }
        m_ringing = false;
        m_inCall = true;
        reply("CONNECT 9600");
        QList<QByteArray> lines;
        int hangUpAfter = -1;
        {
            std::lock_guard lock(m_mutex);
            lines = m_callLines;
            hangUpAfter = m_hangUpAfter;
        }
        for (int i = 0; i < lines.size(); ++i) {
            if (i == hangUpAfter) {
                m_inCall = false;
                m_callOver = true;
                reply("NO CARRIER");
                return;
            }
            send(lines.at(i) + "\r\n");
        }
    } else if (up.startsWith("ATH")) {
        m_inCall = false;
        m_callOver = true;
        reply("OK");
    } else if (up.startsWith("AT")) {
        reply("OK");
    } else {
        reply("ERROR");
    }
}

void FakeModem::addIncoming(const QString& sender, const QString& text)
{
    addIncoming(IncomingSms{sender,
                            sender.startsWith(QLatin1Char('+')) ? IncomingSms::Sender::International
                                                                : IncomingSms::Sender::Unknown,
                            text});
}

int FakeModem::addIncoming(const IncomingSms& sms)
{
    std::lock_guard lock(m_mutex);
    m_store.append({m_nextIndex, sms.sender, sms.text, encodeDeliver(sms), -1});
    return m_nextIndex++;
}

int FakeModem::addIncomingPdu(const QByteArray& hex, int announced)
{
    std::lock_guard lock(m_mutex);
    m_store.append({m_nextIndex, {}, {}, hex, announced});
    return m_nextIndex++;
}

QList<int> FakeModem::storedIndexes() const
{
    std::lock_guard lock(m_mutex);
    QList<int> out;
    for (const Stored& s : m_store)
        out.append(s.index);
    return out;
}

void FakeModem::setHealth(const QByteArray& cpin, const QByteArray& creg, const QByteArray& csq,
                          const QByteArray& cgreg)
{
    std::lock_guard lock(m_mutex);
    m_cpin = cpin;
    m_creg = creg;
    m_csq = csq;
    m_cgreg = cgreg;
}

int FakeModem::storedCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_store.size());
}

void FakeModem::call(const QList<QByteArray>& lines, int hangUpAfter)
{
    {
        std::lock_guard lock(m_mutex);
        m_callLines = lines;
        m_hangUpAfter = hangUpAfter;
        m_callAnswers.clear();
    }
    m_callOver = false;
    m_lastRingMs = 0;
    m_ringing = true;
}

QList<QByteArray> FakeModem::callAnswers() const
{
    std::lock_guard lock(m_mutex);
    return m_callAnswers;
}

QByteArray FakeModem::rawReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_raw;
}

QList<FakeModem::Submitted> FakeModem::submitted() const
{
    std::lock_guard lock(m_mutex);
    return m_submitted;
}

QList<QByteArray> FakeModem::commands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

void FakeModem::clearRecords()
{
    std::lock_guard lock(m_mutex);
    m_submitted.clear();
    m_commands.clear();
}

} // namespace taviro::test
