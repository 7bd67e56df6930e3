#include "ReplyAcknowledger.h"

#include "DatabaseConnector.h"
#include "E164.h"
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

Result<QList<Candidate>> recipientsWithNumber(const DatabaseConnector& conn, const QString& e164,
                                              const QString& countryCode)
{
    auto q = conn.query(QStringLiteral("SELECT id, naam, mobielnr FROM ontvangers WHERE %1 = ?")
                            .arg(conn.id(QStringLiteral("deleted"))),
                        {sql::boolValue(false)});
    if (!q)
        return Result<QList<Candidate>>::failure(q.error());
    QList<Candidate> found;
    while (q->next())
        if (toE164(sql::toText(q->value(2)), countryCode) == e164)
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

// Within the caller's transaction: the dispatch the reply acknowledges, if any.
Status acknowledge(const DatabaseConnector& conn, const ReadMessage& message, const ReplyWord& reply,
                   const QString& countryCode, const QDateTime& now, AckOutcome& out)
{
    if (!isNumericSender(message.senderKind)) {
        out.why = QStringLiteral("de afzender is geen telefoonnummer");
        return {};
    }
    const std::optional<QString> from = toE164(message.sender, countryCode);
    if (!from) {
        out.why = QStringLiteral("onbekend nummer");
        return {};
    }
    auto recipients = recipientsWithNumber(conn, *from, countryCode);
    if (!recipients)
        return Status::failure(recipients.error());
    if (recipients->isEmpty()) {
        out.why = QStringLiteral("onbekend nummer");
        return {};
    }
    // Several recipients may share one telephone: the one whose dispatch is
    // newest is the one who answers.
    qint64 recipientId = 0;
    for (const Candidate& r : *recipients) {
        QString sqlText = QStringLiteral("SELECT id FROM uitmeld WHERE ontvanger_id = ? AND uitmeldtype = 1 "
                                         "AND bevestiger = 0");
        QVariantList binds{r.recipientId};
        if (reply.dispatchId > 0) {
            sqlText += QStringLiteral(" AND id = ?");
            binds.append(reply.dispatchId);
        }
        auto id = conn.scalar(sqlText + QStringLiteral(" ORDER BY id DESC LIMIT 1"), binds);
        if (!id)
            return Status::failure(id.error());
        if (!id->isNull() && sql::toLong(*id) > out.dispatchId) {
            out.dispatchId = sql::toLong(*id);
            out.recipientName = r.name;
            recipientId = r.recipientId;
        }
    }
    if (recipientId == 0) {
        out.recipientName = recipients->first().name;
        out.why = reply.dispatchId > 0 ? QStringLiteral("uitmelding %1 staat niet open voor deze ontvanger").arg(reply.dispatchId)
                                       : QStringLiteral("geen openstaande SMS-uitmelding");
        return {};
    }
    // done as well: a dispatch that was re-armed for another attempt must not go out again.
    if (Status s = conn.exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = 2, bevestiger = ?, bevestigdate = ?, "
                                            "done = ? WHERE id = ? AND bevestiger = 0"),
                             {recipientId, sql::dateValue(now, conn.dialect()), sql::boolValue(true), out.dispatchId});
        !s)
        return s;
    if (Status s = acknowledgeWholeReport(conn, out.dispatchId, recipientId, now); !s)
        return s;
    out.acknowledged = true;
    return {};
}

} // namespace

AckOutcome handleStoredMessage(const DatabaseConnector& conn, const ReadMessage& message,
                               const std::optional<ReplyWord>& reply, const QString& countryCode,
                               const QDateTime& now)
{
    AckOutcome out;
    auto fail = [&out](const QString& why) {
        out = AckOutcome{};
        out.why = why;
        out.databaseFailed = true;
        return out;
    };
    Transaction tx(conn);
    if (Status s = tx.begin(); !s)
        return fail(s.error());
    auto seen = conn.scalar(QStringLiteral("SELECT COUNT(*) FROM meldingsleutel WHERE sleutel = ?"),
                            {sql::textValue(message.key)});
    if (!seen)
        return fail(seen.error());
    if (sql::toLong(*seen) > 0) {
        out.alreadyHandled = true;
        return out;
    }
    if (reply)
        if (Status s = acknowledge(conn, message, *reply, countryCode, now, out); !s)
            return fail(s.error());
    Status s = conn.exec(QStringLiteral("INSERT INTO meldingsleutel (sleutel, melding_id, ontvangen) VALUES (?, ?, ?)"),
                         {sql::textValue(message.key), sql::keyValue(0), sql::dateValue(now, conn.dialect())});
    if (s)
        s = tx.commit();
    if (!s)
        return fail(s.error());
    return out;
}

} // namespace taviro::sms
