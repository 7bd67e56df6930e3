#include "ModemHealth.h"

#include <QList>

namespace taviro::sms {

namespace {

// The numbers after "+CREG: " and the like.
QList<int> numbersAfter(const QByteArray& line, const QByteArray& prefix)
{
    QList<int> out;
    if (!line.startsWith(prefix))
        return out;
    for (const QByteArray& field : line.mid(prefix.size()).split(',')) {
        bool ok = false;
        const int n = field.trimmed().toInt(&ok);
        if (!ok)
            break;
        out.append(n);
    }
    return out;
}

// 1 home network, 5 roaming: registered. 3 refused; anything else not (yet).
int registration(const QByteArray& line, const QByteArray& prefix)
{
    const QList<int> n = numbersAfter(line, prefix);
    // The answer to the question is "<mode>,<stat>"; an unsolicited report only "<stat>".
    return n.size() >= 2 ? n.at(1) : n.value(0, -1);
}

bool registered(int stat) { return stat == 1 || stat == 5; }

int errorCode(const QByteArray& line)
{
    bool ok = false;
    const int code = line.mid(11).trimmed().toInt(&ok);
    return ok ? code : -1;
}

} // namespace

ModemHealth judgeModem(const ModemAnswers& a)
{
    ModemHealth h;
    // Minimal firmware says OK to every question and tells nothing: that is
    // no verdict on the SIM, the network or the signal.
    if (a.cpin.trimmed().isEmpty() && a.creg.trimmed().isEmpty() && !a.cgreg.trimmed().startsWith("+CGREG:")
        && a.csq.trimmed().isEmpty()) {
        h.condition = ModemCondition::NoState;
        return h;
    }
    const QByteArray cpin = a.cpin.trimmed().toUpper();
    const bool cmeError = cpin.startsWith("+CME ERROR:");
    if (cpin.contains("SIM PUK") || (cmeError && errorCode(cpin) == 12)) {
        h.condition = ModemCondition::SimPuk;
        return h;
    }
    if (cpin.contains("SIM PIN") || (cmeError && (errorCode(cpin) == 11 || errorCode(cpin) == 5))) {
        h.condition = ModemCondition::SimPin;
        return h;
    }
    if (cpin.contains("NOT INSERTED") || (cmeError && errorCode(cpin) == 10)) {
        h.condition = ModemCondition::NoSim;
        return h;
    }
    if (!cpin.startsWith("+CPIN:") || !cpin.contains("READY")) {
        h.condition = ModemCondition::SimNotReady;
        h.detail = cpin.isEmpty() ? QStringLiteral("geen antwoord op AT+CPIN?") : QString::fromLatin1(a.cpin.trimmed());
        return h;
    }
    const int cs = registration(a.creg.trimmed(), "+CREG:");
    const int ps = registration(a.cgreg.trimmed(), "+CGREG:");
    if (!registered(cs) && !registered(ps)) {
        h.condition = (cs == 3 || ps == 3) ? ModemCondition::Denied : ModemCondition::NoNetwork;
        return h;
    }
    const QList<int> csq = numbersAfter(a.csq.trimmed(), "+CSQ:");
    const int rssi = csq.value(0, 99);
    if (rssi < 0 || rssi > 31) { // 99: not known or not detectable
        h.condition = ModemCondition::NoSignal;
        return h;
    }
    h.condition = ModemCondition::Ready;
    h.signal = rssi;
    return h;
}

QString describeHealth(const ModemHealth& h, int comNumber)
{
    QString state;
    switch (h.condition) {
    case ModemCondition::Unknown: state = QStringLiteral("nog niet gecontroleerd"); break;
    case ModemCondition::PortUnavailable: state = QStringLiteral("poort niet te openen (%1)").arg(h.detail); break;
    case ModemCondition::NoAnswer: state = QStringLiteral("geen antwoord"); break;
    case ModemCondition::Refused: state = QStringLiteral("weigert de instelling (%1)").arg(h.detail); break;
    case ModemCondition::NoSim: state = QStringLiteral("geen SIM-kaart"); break;
    case ModemCondition::SimPin: state = QStringLiteral("SIM wacht op pincode"); break;
    case ModemCondition::SimPuk: state = QStringLiteral("SIM geblokkeerd, PUK-code nodig"); break;
    case ModemCondition::SimNotReady: state = QStringLiteral("SIM niet gereed (%1)").arg(h.detail); break;
    case ModemCondition::NoNetwork: state = QStringLiteral("geen netwerk"); break;
    case ModemCondition::Denied: state = QStringLiteral("netwerk weigert de SIM"); break;
    case ModemCondition::NoSignal: state = QStringLiteral("geen signaal"); break;
    case ModemCondition::NoState: state = QStringLiteral("meldt geen toestand"); break;
    case ModemCondition::Ready: state = QStringLiteral("klaar, signaal %1/31").arg(h.signal); break;
    }
    return QStringLiteral("GSM-modem op COM %1: %2").arg(comNumber).arg(state);
}

} // namespace taviro::sms
