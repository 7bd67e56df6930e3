#include "SmsDialogue.h"

#include "ModemErrors.h"

namespace taviro::sms {

using modem::AtResult;

namespace {
constexpr char CtrlZ = 0x1a;
constexpr char Escape = 0x1b;
} // namespace

SmsDialogue::Outcome SmsDialogue::outcomeOf(const AtResult& r, const QByteArray& what, QString* problem)
{
    if (r.ok())
        return Outcome::Ok;
    if (problem)
        *problem = r.timedOut() ? QStringLiteral("geen antwoord op %1").arg(QString::fromLatin1(what))
                                : QStringLiteral("%1 beantwoord met %2")
                                      .arg(QString::fromLatin1(what), modem::describeModemError(r.finalLine));
    return r.timedOut() ? Outcome::NoAnswer : Outcome::Refused;
}

SmsDialogue::Outcome SmsDialogue::initialise(const QString& initString, QString* problem)
{
    // A modem left in the middle of a message prompt swallows commands until
    // it sees Escape; a sleepy one needs a second "AT".
    m_port.write(QByteArray(1, Escape));
    m_port.discardInput();
    Outcome alive = Outcome::NoAnswer;
    for (int attempt = 0; attempt < 3 && alive == Outcome::NoAnswer; ++attempt)
        alive = outcomeOf(m_port.command("AT", std::min(m_timing.commandMs, 2000)), "AT", problem);
    if (alive != Outcome::Ok)
        return alive;
    QByteArray init = initString.trimmed().toLatin1();
    if (!init.isEmpty()) {
        if (!init.toUpper().startsWith("AT"))
            init.prepend("AT");
        if (Outcome o = outcomeOf(m_port.command(init, m_timing.commandMs), init, problem); o != Outcome::Ok)
            return o;
    }
    return outcomeOf(m_port.command("ATE0", m_timing.commandMs), "ATE0", problem);
}

SmsDialogue::Outcome SmsDialogue::submitOne(const QByteArray& command, const QByteArray& body, QString* problem)
{
    if (!m_port.write(command + '\r')) {
        *problem = QStringLiteral("de poort is weggevallen");
        return Outcome::NoAnswer;
    }
    QByteArray refusal;
    if (!m_port.waitForPrompt("> ", m_timing.commandMs, &refusal)) {
        if (!refusal.isEmpty()) {
            // The modem's own reason (no network, SIM blocked, ...) is what the installer needs.
            *problem = QStringLiteral("%1 beantwoord met %2")
                           .arg(QString::fromLatin1(command), modem::describeModemError(refusal));
            return Outcome::Refused;
        }
        m_port.write(QByteArray(1, Escape));
        *problem = QStringLiteral("geen invoerteken na %1").arg(QString::fromLatin1(command));
        // Did it answer anything at all? A quick AT tells a refusal from a hang.
        return m_port.command("AT", std::min(m_timing.commandMs, 2000)).timedOut() ? Outcome::NoAnswer
                                                                                    : Outcome::Refused;
    }
    const AtResult r = m_port.sendAndCollect(body + CtrlZ, m_timing.submitMs);
    return outcomeOf(r, "AT+CMGS", problem);
}

SmsDialogue::Outcome SmsDialogue::submit(const PhoneNumber& to, const QString& smsCentre, const QString& piece,
                                         int reference, QString* problem)
{
    if (fitsTextMode(piece)) {
        if (Outcome o = outcomeOf(m_port.command("AT+CMGF=1", m_timing.commandMs), "AT+CMGF=1", problem); o != Outcome::Ok)
            return o;
        const QByteArray number = (to.international ? "+" : "") + to.digits.toLatin1();
        return submitOne("AT+CMGS=\"" + number + '"', piece.toLatin1(), problem);
    }
    if (Outcome o = outcomeOf(m_port.command("AT+CMGF=0", m_timing.commandMs), "AT+CMGF=0", problem); o != Outcome::Ok)
        return o;
    for (const Pdu& pdu : buildUcs2Pdus(to, smsCentre, piece, reference))
        if (Outcome o = submitOne("AT+CMGS=" + QByteArray::number(pdu.tpduLength), pdu.hex, problem); o != Outcome::Ok)
            return o;
    return Outcome::Ok;
}

SmsDialogue::Outcome SmsDialogue::listMessages(QList<StoredMessage>* messages, QStringList* skipped, bool* textMode,
                                               QString* problem)
{
    // PDU mode: every stored message comes as its own octets in hexadecimal,
    // so nothing a sender writes can look like a line of the listing.
    if (Outcome o = outcomeOf(m_port.command("AT+CMGF=0", m_timing.commandMs), "AT+CMGF=0", problem); o != Outcome::Ok)
        return o;
    // No data-line rule needed: a hexadecimal line never reads as a result code.
    const AtResult r = m_port.command("AT+CMGL=4", m_timing.commandMs * 2);
    if (Outcome o = outcomeOf(r, "AT+CMGL=4", problem); o != Outcome::Ok)
        return o;
    *messages = parsePduList(r.lines, skipped, textMode);
    return Outcome::Ok;
}

ModemAnswers SmsDialogue::askHealth()
{
    auto answer = [this](const QByteArray& command, const QByteArray& prefix) -> QByteArray {
        const AtResult r = m_port.command(command, m_timing.commandMs);
        if (r.ok()) {
            const QByteArray value = r.value(prefix);
            return value.isEmpty() ? QByteArray() : prefix + ' ' + value;
        }
        return r.finalLine;
    };
    ModemAnswers a;
    a.cpin = answer("AT+CPIN?", "+CPIN:");
    a.creg = answer("AT+CREG?", "+CREG:");
    a.cgreg = answer("AT+CGREG?", "+CGREG:");
    a.csq = answer("AT+CSQ", "+CSQ:");
    return a;
}

SmsDialogue::Outcome SmsDialogue::deleteMessage(int index)
{
    return outcomeOf(m_port.command("AT+CMGD=" + QByteArray::number(index), m_timing.commandMs), "AT+CMGD", nullptr);
}

} // namespace taviro::sms
