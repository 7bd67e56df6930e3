#pragma once

#include "Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QSqlQuery;

namespace taviro {

class DatabaseConnector;

namespace outbox {

// What a queued mail's row says about it.
enum class MailStatus { Waiting = 0, Sent = 1, Failed = 2 };

// A mail the room owes. `key` names what it is for ("uitmelding 12",
// "kopie elke 40", ...): one mail per key and address, so a decision that is
// replayed after a kill or by a second workstation queues nothing new.
struct OutgoingMail
{
    QString key;
    qint64 uitmeldId = 0; // the dispatch it belongs to; 0 for the copy and room mails
    QString address;      // one or more, separated by ';', ',' or white space
    QString recipientName;
    QString subject;
    QString body;
    QString attachmentName; // empty: no attachment
    QByteArray attachment;
};

// Keys of the mails the engine owes, one place so the views and the tests
// name them alike.
QString dispatchKey(qint64 uitmeldId);
QString everyReportCopyKey(qint64 meldindexId);
QString unmannedCopyKey(qint64 meldindexId);
QString silentConsoleKey(const QString& console, qint64 hartslag);

// Splits an address field: several addresses separated by ';', ',' or white
// space; "Naam <adres>" keeps the address; each address once.
QStringList splitAddresses(const QString& field);

// Queues one row per address inside the caller's transaction, so the mail
// exists exactly when the decision that owes it is committed. Returns how
// many addresses were new (0 when the field holds none, or when every one
// was queued under this key before).
Result<int> queueMail(const DatabaseConnector& conn, const OutgoingMail& mail);

// One row of the outbox as the senders and the inspection read it.
struct OutboxRow
{
    qint64 id = 0;
    QString key;
    qint64 uitmeldId = 0;
    QString address, recipientName, subject, body, attachmentName;
    QByteArray attachment;
    MailStatus status = MailStatus::Waiting;
    qint64 failures = 0;
    QString reason;
    qint64 queuedAt = 0, nextTry = 0, firstFailure = 0, sentAt = 0; // server seconds
    QString claim;
    qint64 claimUntil = 0;
};

// The columns OutboxRow reads, in its order, for a SELECT or RETURNING list.
QString rowColumns();
OutboxRow rowFrom(const QSqlQuery& q, int first = 0);

// What the room knows about the mail of each of these dispatches: the worst
// of its addresses' rows (waiting before failed before sent). Dispatches
// without rows (handed over before the outbox existed, or purged) are absent.
Result<QHash<qint64, MailStatus>> dispatchMailStates(const DatabaseConnector& conn,
                                                     const QList<qint64>& uitmeldIds);

// For inspection: the rows, newest first, at most `limit`; `status` < 0 all.
Result<QList<OutboxRow>> listRows(const DatabaseConnector& conn, int status, int limit);

} // namespace outbox
} // namespace taviro
