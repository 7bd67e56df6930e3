#include "DispatchClaims.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "DutySlots.h"
#include "EventLog.h"
#include "Rows.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QSqlQuery>

namespace taviro {

DispatchClaims::DispatchClaims(const DatabaseConnector& conn, const Clock& clock, EventLog& log, Workstation self)
    : m_conn(conn), m_clock(clock), m_log(log), m_self(std::move(self))
{
}

QString DispatchClaims::stillOpen()
{
    return QStringLiteral("bevestiger = 0 AND bevestigtype = 0");
}

QString DispatchClaims::mineCondition() const
{
    return QStringLiteral("station = ? AND soort = ? AND startid = ?");
}

QVariantList DispatchClaims::mineValues() const
{
    return {sql::textValue(m_self.naam), sql::textValue(m_self.soort), sql::textValue(m_self.startId)};
}

QString DispatchClaims::nowSeconds() const
{
    return sql::serverNowSeconds(m_conn.dialect());
}

std::optional<qint64> DispatchClaims::claim(qint64 uitmeldId)
{
    Transaction tx(m_conn);
    Status s = tx.begin();
    std::optional<qint64> type;
    if (s) {
        auto q = m_conn.query(
            QStringLiteral(
                "UPDATE uitmeld SET done = ? WHERE id = ? AND done = ? RETURNING uitmeldtype"),
            {sql::boolValue(true), sql::keyValue(uitmeldId), sql::boolValue(false)});
        if (!q) {
            s = Status::failure(q.error());
        } else {
            if (q->next())
                type = sql::toLong(q->value(0));
            q->finish();
        }
    }
    if (s && !type)
        return std::nullopt; // another station, or a bulk close, was first
    // A claim left by an earlier round of the same dispatch is replaced.
    if (s)
        s = m_conn.exec(QStringLiteral("DELETE FROM uitmeldclaim WHERE uitmeld_id = ?"),
                        {sql::keyValue(uitmeldId)});
    if (s)
        s = m_conn.exec(QStringLiteral("INSERT INTO uitmeldclaim (uitmeld_id, station, soort, startid, expires) "
                                       "VALUES (?, ?, ?, ?, %1 + ?)")
                            .arg(nowSeconds()),
                        QVariantList{sql::keyValue(uitmeldId)} + mineValues() +
                            QVariantList{sql::keyValue(m_leaseSeconds)});
    if (s)
        s = tx.commit();
    if (!s) {
        m_log.writeLog(
            QStringLiteral("Uitmelding %1 niet te claimen: %2").arg(uitmeldId).arg(s.error()), 1);
        return std::nullopt;
    }
    m_inFlight.insert(uitmeldId);
    return type;
}

Status DispatchClaims::write(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail,
                             bool& stood)
{
    Transaction tx(m_conn);
    Status s = tx.begin();
    // The claim is the gate, and the first row touched: a station that judged
    // ours dead and takes the dispatch over deletes the same row, so of the
    // two only one finds it. The e-mail of a recipient who also gets SMS
    // leaves the claim to the SMS, so it only touches it.
    const bool keepsClaim = outcome == Outcome::EmailSentKeepSms;
    if (s) {
        auto gate = m_conn.query(
            (keepsClaim ? QStringLiteral("UPDATE uitmeldclaim SET expires = expires WHERE uitmeld_id = ? AND ")
                        : QStringLiteral("DELETE FROM uitmeldclaim WHERE uitmeld_id = ? AND ")) +
                mineCondition(),
            QVariantList{sql::keyValue(uitmeldId)} + mineValues());
        if (!gate)
            s = Status::failure(gate.error());
        else
            stood = gate->numRowsAffected() > 0;
    }
    if (s && !stood)
        return s; // rolled back: nothing of ours to write
    QString update;
    QVariantList binds; // `done` where the statement sets it, then the id
    switch (outcome) {
    case Outcome::SmsSent:
        update = QStringLiteral(
            "UPDATE uitmeld SET done = ?, pogingen = pogingen + 1, uitmeldtype = 1 WHERE id = ?");
        binds << sql::boolValue(true);
        break;
    case Outcome::EmailSentKeepSms:
        // Keeps the claim's done as it is: the SMS outcome decides that.
        update = QStringLiteral("UPDATE uitmeld SET uitmeldtype = 2 WHERE id = ? AND "
                                "uitmeldtype = 0");
        break;
    case Outcome::EmailSentDone:
        update = QStringLiteral("UPDATE uitmeld SET done = ?, uitmeldtype = 2 WHERE id = ?");
        binds << sql::boolValue(true);
        break;
    case Outcome::Released:
        // Whoever acknowledged it or closed it in bulk meanwhile has the last word.
        update = QStringLiteral("UPDATE uitmeld SET done = ? WHERE id = ? AND ") + stillOpen();
        binds << sql::boolValue(false);
        break;
    }
    binds << sql::keyValue(uitmeldId);
    bool changed = false;
    if (s) {
        auto q = m_conn.query(update, binds);
        if (q)
            changed = q->numRowsAffected() > 0;
        else
            s = Status::failure(q.error());
    }
    // Its e-mail is owed only when this outcome is what the row now says.
    if (s && mail && changed)
        s = Status::from(outbox::queueMail(m_conn, *mail));
    // Once it went, earlier failures no longer pace it; a repetition that
    // fails later starts its pauses afresh.
    if (s && outcome != Outcome::Released && outcome != Outcome::EmailSentKeepSms)
        s = m_conn.exec(QStringLiteral("DELETE FROM uitmeldretry WHERE uitmeld_id = ?"),
                        {sql::keyValue(uitmeldId)});
    // The quarter it went in: a re-arm of that quarter that runs late leaves it.
    if (s && outcome == Outcome::SmsSent)
        s = m_conn.exec(QStringLiteral("INSERT INTO uitmeldverzonden (uitmeld_id, kwartier) VALUES (?, ?)"),
                        {sql::keyValue(uitmeldId),
                         sql::keyValue(DutySlots::slotOf(m_clock.now().toSecsSinceEpoch(), DutySlots::kQuarterSecs))});
    if (s)
        s = tx.commit();
    return s;
}

void DispatchClaims::noteLostClaim(qint64 uitmeldId, Outcome outcome)
{
    const bool went = outcome != Outcome::Released;
    m_log.writeLog(went ? QStringLiteral("Uitmelding %1 is verstuurd, maar was intussen vrijgegeven voor een ander "
                                         "station; de uitkomst is niet vastgelegd en het bericht kan nog eens gaan.")
                              .arg(uitmeldId)
                        : QStringLiteral("Uitmelding %1: intussen door een ander station overgenomen of afgehandeld; "
                                         "niets teruggezet.")
                              .arg(uitmeldId),
                   went ? 0 : 1);
}

void DispatchClaims::record(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail)
{
    // The e-mail of an SMS recipient comes first; the SMS outcome ends the send.
    if (outcome != Outcome::EmailSentKeepSms)
        m_inFlight.remove(uitmeldId);
    bool stood = true;
    if (Status s = write(uitmeldId, outcome, mail, stood); !s) {
        m_log.writeLog(QStringLiteral("Uitmelding %1: uitkomst nog niet vastgelegd (%2); wordt "
                                      "opnieuw geprobeerd.")
                           .arg(uitmeldId)
                           .arg(s.error()),
                       0);
        m_unrecorded.append({uitmeldId, outcome, mail});
        return;
    }
    if (!stood)
        noteLostClaim(uitmeldId, outcome);
}

void DispatchClaims::retryUnrecorded()
{
    while (!m_unrecorded.isEmpty()) {
        const Unrecorded next = m_unrecorded.first();
        bool stood = true;
        if (!write(next.uitmeldId, next.outcome, next.mail, stood))
            return; // still away: the next pass tries again, in the same order
        m_unrecorded.removeFirst();
        if (stood)
            m_log.writeLog(QStringLiteral("Uitmelding %1: uitkomst alsnog vastgelegd.").arg(next.uitmeldId), 1);
        else
            noteLostClaim(next.uitmeldId, next.outcome);
    }
}

void DispatchClaims::renew()
{
    QVariantList binds = QVariantList{sql::keyValue(m_leaseSeconds)} + mineValues();
    const qsizetype fixed = binds.size();
    QStringList marks;
    for (qint64 id : m_inFlight)
        binds << sql::keyValue(id);
    for (const Unrecorded& u : m_unrecorded)
        binds << sql::keyValue(u.uitmeldId);
    if (binds.size() == fixed)
        return;
    for (qsizetype i = fixed; i < binds.size(); ++i)
        marks << QStringLiteral("?");
    (void)m_conn.exec(QStringLiteral("UPDATE uitmeldclaim SET expires = %1 + ? WHERE %2 AND uitmeld_id IN (%3)")
                          .arg(nowSeconds(), mineCondition(), marks.join(QLatin1Char(','))),
                      binds);
}

void DispatchClaims::noteOutageEnded()
{
    m_sinceOutage.start();
}

int DispatchClaims::recoverStale()
{
    const bool ownToo = !m_ownLeftoversChecked;
    const bool othersToo = !m_sinceOutage.isValid() || m_sinceOutage.hasExpired(m_leaseSeconds * 1000LL);
    // Own outcomes not yet written are not leftovers.
    QList<qint64> mine;
    for (const Unrecorded& u : m_unrecorded)
        mine.append(u.uitmeldId);

    struct Stale
    {
        qint64 claimId, uitmeldId;
        QString station;
    };
    QList<Stale> stale;
    // Leftovers: an earlier start of this very workstation (same name and
    // kind; a console and a station on one machine share the name but are
    // two workstations) that is not the one beating now; a claim whose lease
    // ran out; a claim of a workstation whose row names a newer start.
    auto q = m_conn.query(
        QStringLiteral("SELECT id, uitmeld_id, station FROM uitmeldclaim c WHERE "
                       "(? AND c.station = ? AND c.soort = ? AND c.startid <> ? AND NOT EXISTS "
                       "(SELECT 1 FROM werkplek w WHERE w.startid = c.startid)) "
                       "OR (? AND c.expires < %1) "
                       "OR EXISTS (SELECT 1 FROM werkplek w WHERE w.naam = c.station AND w.soort = c.soort "
                       "AND w.startid <> c.startid AND w.startid <> ?) ORDER BY id")
            .arg(nowSeconds()),
        {sql::boolValue(ownToo), sql::textValue(m_self.naam), sql::textValue(m_self.soort),
         sql::textValue(m_self.startId), sql::boolValue(othersToo), sql::textValue(QString())});
    if (!q)
        return 0;
    while (q->next())
        stale.append({sql::toLong(q->value(0)), sql::toLong(q->value(1)), sql::toText(q->value(2))});
    q->finish();
    m_ownLeftoversChecked = true;

    int recovered = 0;
    for (const Stale& c : stale) {
        if (mine.contains(c.uitmeldId))
            continue;
        Transaction tx(m_conn);
        Status s = tx.begin();
        // Only if the claim is still there: the owner may have recorded it
        // meanwhile. An acknowledged dispatch needs no new attempt.
        Result<int> gone = 0;
        if (s) {
            auto d = m_conn.query(QStringLiteral("DELETE FROM uitmeldclaim WHERE id = ?"),
                                  {sql::keyValue(c.claimId)});
            if (d)
                gone = d->numRowsAffected();
            else
                s = Status::failure(d.error());
        }
        if (s && *gone == 1)
            s = m_conn.exec(QStringLiteral("UPDATE uitmeld SET done = ? WHERE id = ? AND ") + stillOpen(),
                            {sql::boolValue(false), sql::keyValue(c.uitmeldId)});
        if (s)
            s = tx.commit();
        if (!s) {
            m_log.writeLog(QStringLiteral("Vastgelopen uitmelding %1 niet vrijgegeven: %2")
                               .arg(c.uitmeldId)
                               .arg(s.error()),
                           1);
            return recovered;
        }
        if (*gone != 1)
            continue;
        ++recovered;
        m_log.writeLog(QStringLiteral("Uitmelding %1 was door station %2 geclaimd maar niet als "
                                      "verstuurd vastgelegd; opnieuw aangeboden.")
                           .arg(c.uitmeldId)
                           .arg(c.station),
                       0);
    }
    return recovered;
}

} // namespace taviro
