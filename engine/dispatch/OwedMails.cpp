#include "OwedMails.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "MessageComposer.h"
#include "Repositories.h"
#include "ServiceInterfaces.h"
#include "SqlValues.h"

#include <QSqlQuery>

namespace taviro {

namespace {
// A minute's share: a long-refused backlog drains over several ticks.
constexpr int kMailsPerRound = 20;
} // namespace

OwedMails::OwedMails(const DatabaseConnector& conn, EventLog& log,
                     const MessageComposer& composer, MailSender& mail)
    : m_conn(conn), m_log(log), m_composer(composer), m_mail(mail)
{
}

int OwedMails::retry()
{
    auto q = m_conn.query(
        QStringLiteral("SELECT uitmeldmail.uitmeld_id, uitmeld.ontvanger_id, uitmeld.bevestiger, "
                       "uitmeld.bevestigtype "
                       "FROM uitmeldmail LEFT JOIN uitmeld ON uitmeld.id = uitmeldmail.uitmeld_id "
                       "ORDER BY uitmeldmail.id LIMIT %1")
            .arg(kMailsPerRound));
    if (!q)
        return 0; // the tick's other steps report an unreachable database
    struct Owed
    {
        qint64 uitmeldId, ontvangerId;
        bool exists, acknowledged;
    };
    QList<Owed> owed;
    while (q->next())
        owed.append({sql::toLong(q->value(0)), sql::toLong(q->value(1)), !q->value(1).isNull(),
                     sql::toLong(q->value(2)) != 0 || sql::toLong(q->value(3)) != 0});
    q->finish();

    int sent = 0;
    for (const Owed& o : owed) {
        // Another station may be offering the same mail: whoever removes the
        // note sends it.
        if (!take(o.uitmeldId))
            continue;
        if (!o.exists || o.acknowledged) {
            m_log.writeLog(QStringLiteral("Uitmelding %1: openstaande e-mail vervalt, de melding "
                                          "is bevestigd of verwijderd.")
                               .arg(o.uitmeldId),
                           1);
            continue;
        }
        const Step step = offer(o.uitmeldId, o.ontvangerId);
        if (step == Step::Refused) {
            putBack(o.uitmeldId);
            break;
        }
        if (step == Step::Sent)
            ++sent;
    }
    return sent;
}

OwedMails::Step OwedMails::offer(qint64 uitmeldId, qint64 ontvangerId)
{
    auto found = OntvangerRepository(m_conn).find(ontvangerId);
    if (!found)
        return Step::Refused; // unreadable now: kept for the next minute
    if (!found->has_value() || (*found)->deleted || !(*found)->UseEmail) {
        m_log.writeLog(QStringLiteral("Uitmelding %1: openstaande e-mail vervalt, ontvanger %2 "
                                      "bestaat niet meer of krijgt geen e-mail.")
                           .arg(uitmeldId)
                           .arg(ontvangerId),
                       1);
        return Step::Dropped;
    }
    const Ontvanger& r = **found;
    const std::optional<ComposedEmail> mail = m_composer.composeDispatchEmail(uitmeldId);
    if (!mail)
        return Step::Refused;
    if (!m_mail.send({trimAddress(r.email), r.naam, mail->subject, mail->body, {}}))
        return Step::Refused;
    m_log.writeLog(
        QStringLiteral("Uitmelding %1: e-mail aan %2 alsnog aangeboden.").arg(uitmeldId).arg(r.naam),
        1);
    return Step::Sent;
}

bool OwedMails::take(qint64 uitmeldId) const
{
    auto q = m_conn.query(QStringLiteral("DELETE FROM uitmeldmail WHERE uitmeld_id = ?"),
                          {sql::keyValue(uitmeldId)});
    return q && q->numRowsAffected() > 0;
}

void OwedMails::putBack(qint64 uitmeldId) const
{
    if (Status s = m_conn.exec(QStringLiteral("INSERT INTO uitmeldmail (uitmeld_id) VALUES (?)"),
                               {sql::keyValue(uitmeldId)});
        !s)
        m_log.writeLog(QStringLiteral("Uitmelding %1: openstaande e-mail niet te bewaren: %2")
                           .arg(uitmeldId)
                           .arg(s.error()),
                       0);
}

} // namespace taviro
