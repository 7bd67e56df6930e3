#include "DispatchClaims.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "Rows.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QSqlQuery>
#include <QSysInfo>

namespace taviro {

QString defaultStationName()
{
    const QString named = qEnvironmentVariable("TAVIRO_STATION").trimmed();
    return named.isEmpty() ? QSysInfo::machineHostName() : named;
}

DispatchClaims::DispatchClaims(const DatabaseConnector& conn, EventLog& log, QString station)
    : m_conn(conn), m_log(log), m_station(std::move(station))
{
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
        s = m_conn.exec(QStringLiteral("INSERT INTO uitmeldclaim (uitmeld_id, station, expires) "
                                       "VALUES (?, ?, %1 + ?)")
                            .arg(nowSeconds()),
                        {sql::keyValue(uitmeldId), sql::textValue(m_station), sql::keyValue(m_leaseSeconds)});
    if (s)
        s = tx.commit();
    if (!s) {
        m_log.writeLog(
            QStringLiteral("Uitmelding %1 niet te claimen: %2").arg(uitmeldId).arg(s.error()), 1);
        return std::nullopt;
    }
    m_inFlight = uitmeldId;
    return type;
}

Status DispatchClaims::write(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail)
{
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
        // An operator who closed it in bulk meanwhile has the last word.
        update = QStringLiteral("UPDATE uitmeld SET done = ? WHERE id = ? AND bevestigtype <> ?");
        binds << sql::boolValue(false);
        break;
    }
    binds << sql::keyValue(uitmeldId);
    if (outcome == Outcome::Released)
        binds << sql::keyValue(kClosedInBulk);

    Transaction tx(m_conn);
    Status s = tx.begin();
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
    // The e-mail of a recipient who also gets SMS leaves the claim to the SMS.
    if (s && outcome != Outcome::EmailSentKeepSms)
        s = m_conn.exec(
            QStringLiteral("DELETE FROM uitmeldclaim WHERE uitmeld_id = ? AND station = ?"),
            {sql::keyValue(uitmeldId), sql::textValue(m_station)});
    if (s)
        s = tx.commit();
    return s;
}

void DispatchClaims::record(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail)
{
    // The e-mail of an SMS recipient comes first; the SMS outcome ends the send.
    if (outcome != Outcome::EmailSentKeepSms && m_inFlight == uitmeldId)
        m_inFlight = 0;
    if (Status s = write(uitmeldId, outcome, mail); !s) {
        m_log.writeLog(QStringLiteral("Uitmelding %1: uitkomst nog niet vastgelegd (%2); wordt "
                                      "opnieuw geprobeerd.")
                           .arg(uitmeldId)
                           .arg(s.error()),
                       0);
        m_unrecorded.append({uitmeldId, outcome, mail});
    }
}

void DispatchClaims::retryUnrecorded()
{
    while (!m_unrecorded.isEmpty()) {
        const Unrecorded next = m_unrecorded.first();
        if (!write(next.uitmeldId, next.outcome, next.mail))
            return; // still away: the next pass tries again, in the same order
        m_unrecorded.removeFirst();
        m_log.writeLog(
            QStringLiteral("Uitmelding %1: uitkomst alsnog vastgelegd.").arg(next.uitmeldId), 1);
    }
}

void DispatchClaims::renew()
{
    QVariantList binds{sql::keyValue(m_leaseSeconds), sql::textValue(m_station)};
    QStringList marks;
    if (m_inFlight != 0)
        binds << sql::keyValue(m_inFlight);
    for (const Unrecorded& u : m_unrecorded)
        binds << sql::keyValue(u.uitmeldId);
    if (binds.size() == 2)
        return;
    for (qsizetype i = 2; i < binds.size(); ++i)
        marks << QStringLiteral("?");
    (void)m_conn.exec(QStringLiteral("UPDATE uitmeldclaim SET expires = %1 + ? WHERE station = ? "
                                     "AND uitmeld_id IN (%2)")
                          .arg(nowSeconds(), marks.join(QLatin1Char(','))),
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
    if (!ownToo && !othersToo)
        return 0;
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
    auto q = m_conn.query(
        QStringLiteral("SELECT id, uitmeld_id, station FROM uitmeldclaim WHERE "
                       "(? AND station = ?) OR (? AND expires < %1) ORDER BY id")
            .arg(nowSeconds()),
        {sql::boolValue(ownToo), sql::textValue(m_station), sql::boolValue(othersToo)});
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
            s = m_conn.exec(QStringLiteral("UPDATE uitmeld SET done = ? WHERE id = ? AND "
                                           "bevestiger = 0 AND bevestigtype <> ?"),
                            {sql::boolValue(false), sql::keyValue(c.uitmeldId),
                             sql::keyValue(kClosedInBulk)});
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
