#include "ReplyAcknowledger.h"

#include "DatabaseConnector.h"
#include "EscalationSettings.h"
#include "SqlValues.h"
#include "Transaction.h"

namespace taviro::sms {

namespace {

struct Candidate
{
    qint64 recipientId = 0;
    QString name;
};

QList<Candidate> recipientsWithNumber(const DatabaseConnector& conn, const QString& fromNumber, QString* error)
{
    QList<Candidate> found;
    const QString key = numberKey(fromNumber);
    if (key.size() < 6) // a short code or a blank sender never stands for a recipient
        return found;
    auto q = conn.query(QStringLiteral("SELECT id, naam, mobielnr FROM ontvangers WHERE %1 = ?")
                            .arg(conn.id(QStringLiteral("deleted"))),
                        {sql::boolValue(false)});
    if (!q) {
        *error = q.error();
        return found;
    }
    while (q->next())
        if (numberKey(sql::toText(q->value(2))) == key)
            found.append({sql::toLong(q->value(0)), sql::toText(q->value(1))});
    return found;
}

// With escalation on, one person's "OK" settles the report for everybody
// told about it: the others' dispatches stop repeating (a re-armed one
// does not go out again) and the report does not escalate. They carry the
// replier as the one who acknowledged, so every view can say who did.
// Without escalation each recipient acknowledges only his own, as always.
Status acknowledgeWholeReport(const DatabaseConnector& conn, qint64 dispatchId, qint64 recipientId,
                              const QDateTime& now)
{
    auto esc = escalation::load(conn);
    if (!esc || !esc->on())
        return {};
    const QString others = QStringLiteral(
        "bevestiger = 0 AND bevestigtype = 0 AND ontvanger_id <> 0 AND id IN (SELECT l2.uitmeld_id FROM uitmeldlink l2 "
        "INNER JOIN meldindex m2 ON m2.id = l2.meldindex_id WHERE m2.melding_id IN (SELECT m1.melding_id FROM "
        "uitmeldlink l1 INNER JOIN meldindex m1 ON m1.id = l1.meldindex_id WHERE l1.uitmeld_id = ?))");
    if (Status s = conn.exec(QStringLiteral("UPDATE uitmeld SET done = ? WHERE uitmeldtype <> 0 AND ") + others,
                             {sql::boolValue(true), sql::keyValue(dispatchId)});
        !s)
        return s;
    return conn.exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = 2, bevestiger = ?, bevestigdate = ? WHERE ") +
                         others,
                     {sql::keyValue(recipientId), sql::dateValue(now, conn.dialect()), sql::keyValue(dispatchId)});
}

} // namespace

AckOutcome acknowledgeReply(const DatabaseConnector& conn, const QString& fromNumber, const ReplyWord& reply,
                            const QDateTime& now)
{
    AckOutcome out;
    QString error;
    const QList<Candidate> recipients = recipientsWithNumber(conn, fromNumber, &error);
    if (!error.isEmpty()) {
        out.why = error;
        out.databaseFailed = true;
        return out;
    }
    if (recipients.isEmpty()) {
        out.why = QStringLiteral("onbekend nummer");
        return out;
    }
    Transaction tx(conn);
    if (Status s = tx.begin(); !s) {
        out.why = s.error();
        out.databaseFailed = true;
        return out;
    }
    // Several recipients may share one telephone: the one whose dispatch is
    // newest is the one who answers.
    qint64 recipientId = 0;
    for (const Candidate& r : recipients) {
        QString sqlText = QStringLiteral("SELECT id FROM uitmeld WHERE ontvanger_id = ? AND uitmeldtype = 1 "
                                         "AND bevestiger = 0");
        QVariantList binds{r.recipientId};
        if (reply.dispatchId > 0) {
            sqlText += QStringLiteral(" AND id = ?");
            binds.append(reply.dispatchId);
        }
        auto id = conn.scalar(sqlText + QStringLiteral(" ORDER BY id DESC LIMIT 1"), binds);
        if (!id) {
            out.why = id.error();
            out.databaseFailed = true;
            return out;
        }
        if (!id->isNull() && sql::toLong(*id) > out.dispatchId) {
            out.dispatchId = sql::toLong(*id);
            out.recipientName = r.name;
            out.acknowledged = true;
            recipientId = r.recipientId;
        }
    }
    if (!out.acknowledged) {
        out.recipientName = recipients.first().name;
        out.why = reply.dispatchId > 0 ? QStringLiteral("uitmelding %1 staat niet open voor deze ontvanger").arg(reply.dispatchId)
                                       : QStringLiteral("geen openstaande SMS-uitmelding");
        return out;
    }
    // done as well: a dispatch that was re-armed for another attempt must not go out again.
    Status s = conn.exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = 2, bevestiger = ?, bevestigdate = ?, done = ? "
                                        "WHERE id = ? AND bevestiger = 0"),
                         {recipientId, sql::dateValue(now, conn.dialect()), sql::boolValue(true), out.dispatchId});
    if (s)
        s = acknowledgeWholeReport(conn, out.dispatchId, recipientId, now);
    if (s)
        s = tx.commit();
    if (!s) {
        out.acknowledged = false;
        out.why = s.error();
        out.databaseFailed = true;
    }
    return out;
}

} // namespace taviro::sms
