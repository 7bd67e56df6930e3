#pragma once

#include "IncomingReplies.h"
#include "ModemHealth.h"
#include "ModemPort.h"
#include "SmsEncoding.h"

#include <QString>

namespace taviro::sms {

struct Timing
{
    int commandMs = 5000;   // an ordinary AT command
    int submitMs = 30000;   // AT+CMGS: the network may take its time
    int pollMs = 30000;     // reading the modem's store for replies
    int checkMs = 180000;   // asking the modem about SIM, network and signal
    int partsWaitMs = 3600000; // how long the first parts of a long reply wait for the rest
};

// The AT dialogue of 3GPP TS 27.005 on an open port: waking and setting up
// the modem, submitting one message in text or PDU mode, listing and deleting
// stored messages. Each step says whether the modem answered at all, so the
// caller can tell a refusal (the modem is fine) from a hung modem.
class SmsDialogue
{
public:
    enum class Outcome { Ok, Refused, NoAnswer };

    SmsDialogue(modem::ModemPort& port, const Timing& timing) : m_port(port), m_timing(timing) {}

    // "AT" until the modem answers, then the init string and echo off.
    Outcome initialise(const QString& initString, QString* problem);
    // One piece to one number; `reference` numbers the parts of a long UCS2 piece.
    Outcome submit(const PhoneNumber& to, const QString& smsCentre, const QString& piece, int reference,
                   QString* problem);
    // The modem's store in PDU mode; lines that are no entry go to `skipped`.
    // `textMode`: the modem listed in text mode after all; nothing is listed.
    Outcome listMessages(QList<StoredMessage>* messages, QStringList* skipped, bool* textMode, QString* problem);
    // SIM, registration and signal, for judgeModem().
    ModemAnswers askHealth();
    Outcome deleteMessage(int index);

private:
    Outcome submitOne(const QByteArray& command, const QByteArray& body, QString* problem);
    static Outcome outcomeOf(const modem::AtResult& r, const QByteArray& what, QString* problem);

    modem::ModemPort& m_port;
    Timing m_timing;
};

} // namespace taviro::sms
