#pragma once

#include "ReportStore.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace taviro::alarmemail {

// The most alarm lines one mail may hold: as many as a dialling transmitter's
// report in the serial line format. A longer mail is refused whole, as such a
// report is.
constexpr int MaxAlarmLines = 99;

struct ParsedAlarmMail
{
    QString subject;
    QString sender;
    qsizetype ignoredBytes = 0; // text beyond what is read of a mail
    bool ok = false;
    QString problem; // why the mail is not an alarm mail (Dutch, for the event log)
    // Dates in the future that were replaced by the reception time, as
    // "<date> (functie <code>)", for the event log.
    QStringList futureDates;
    ReceivedReport report;
};

// Reads one alarm e-mail (the whole raw message as the mailbox hands it out)
// into a report of one transmitter with one line per alarm point. The format
// is the "key: value" form of docs/alarm-email.md; everything else in the mail
// (greetings, signatures, disclaimers) is passed over.
ParsedAlarmMail parseAlarmMail(const QByteArray& rawMail, const QDateTime& receivedAt);

} // namespace taviro::alarmemail
