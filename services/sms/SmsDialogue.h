#pragma once

#include "IncomingReplies.h"
#include "ModemPort.h"
#include "SmsEncoding.h"

#include <QString>

namespace taviro::sms {

struct Timing
{
    int commandMs = 5000;   // an ordinary AT command
    int submitMs = 30000;   // AT+CMGS: the network may take its time
    int pollMs = 30000;     // reading the modem's store for replies
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
    Outcome listMessages(QList<StoredMessage>* messages, QString* problem);
    Outcome deleteMessage(int index);

private:
    Outcome submitOne(const QByteArray& command, const QByteArray& body, QString* problem);
    static Outcome outcomeOf(const modem::AtResult& r, const QByteArray& what, QString* problem);

    modem::ModemPort& m_port;
    Timing m_timing;
};

} // namespace taviro::sms
