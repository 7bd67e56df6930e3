#pragma once

#include "ReportStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace taviro::alarmemail {

struct ParsedAlarmMail
{
    QString subject;
    bool ok = false;
    QString problem; // why the mail is not an alarm mail (Dutch, for the event log)
    ReceivedReport report;
};

// Reads one alarm e-mail (the whole raw message as the mailbox hands it out)
// into a report of one transmitter with one line per alarm point. The format
// is the "key: value" form of docs/alarm-email.md; everything else in the mail
// (greetings, signatures, disclaimers) is passed over.
ParsedAlarmMail parseAlarmMail(const QByteArray& rawMail, const QDateTime& receivedAt);

} // namespace taviro::alarmemail
