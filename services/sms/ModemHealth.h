#pragma once

#include <QByteArray>
#include <QString>

namespace taviro::sms {

// What the GSM modem can do for us right now, worst first.
enum class ModemCondition {
    Unknown,         // not looked at yet
    PortUnavailable, // the COM port cannot be opened
    NoAnswer,        // nothing, or nothing sensible, comes back
    Refused,         // it answers but refuses the set-up (init string)
    NoSim,
    SimPin,          // the SIM waits for its PIN
    SimPuk,          // the SIM is blocked
    SimNotReady,     // another SIM state
    NoNetwork,       // not registered (searching or not)
    Denied,          // the network refuses the SIM
    NoSignal,
    NoState,         // answers the health questions with a bare OK: it is tried as it is
    Ready,
};

struct ModemHealth
{
    ModemCondition condition = ModemCondition::Unknown;
    int signal = -1;  // 0..31 when known
    QString detail;   // the reason for PortUnavailable, Refused and SimNotReady

    bool ready() const { return condition == ModemCondition::Ready; }
    // A change worth a line in the event log: another condition or reason;
    // the signal strength going up and down is not.
    bool differsFrom(const ModemHealth& other) const
    {
        return condition != other.condition || detail != other.detail;
    }
};

// The answers to the health questions: for each the information line
// ("+CPIN: READY"), or the error result when the modem refused
// ("+CME ERROR: 10"), or nothing when it did not answer.
struct ModemAnswers
{
    QByteArray cpin;
    QByteArray creg;
    QByteArray cgreg; // a modem without packet data answers ERROR here
    QByteArray csq;
};

ModemHealth judgeModem(const ModemAnswers& answers);

// "GSM-modem op COM 3: klaar, signaal 17/31", "GSM-modem op COM 3: geen netwerk".
QString describeHealth(const ModemHealth& health, int comNumber);

} // namespace taviro::sms
