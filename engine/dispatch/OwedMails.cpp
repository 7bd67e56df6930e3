#include "OwedMails.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "MailOutbox.h"
#include "MessageComposer.h"
#include "Repositories.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QSqlQuery>

namespace taviro {

namespace {
// A minute's share: a long backlog moves over several ticks.
constexpr int kMailsPerRound = 20;
} // namespace

OwedMails::OwedMails(const DatabaseConnector& conn, EventLog& log, const MessageComposer& composer)
    : m_conn(conn), m_log(log), m_composer(composer)
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
        bool acknowledged;
    };
    QList<Owed> owed;
    while (q->next())
        owed.append({sql::toLong(q->value(0)), sql::toLong(q->value(1)),
                     sql::toLong(q->value(2)) != 0 || sql::toLong(q->value(3)) != 0});
    q->finish();

    int queued = 0;
    for (const Owed& o : owed) {
        const Step step = move(o.uitmeldId, o.ontvangerId, o.acknowledged);
        if (step == Step::Later)
            break;
        if (step == Step::Queued)
            ++queued;
    }
    return queued;
}

OwedMails::Step OwedMails::move(qint64 uitmeldId, qint64 ontvangerId, bool acknowledged)
{
    std::optional<Ontvanger> recipient;
    if (!acknowledged) {
        auto found = OntvangerRepository(m_conn).find(ontvangerId);
        if (!found)
            return Step::Later; // unreadable now: kept for the next minute
        if (found->has_value() && !(*found)->deleted && (*found)->UseEmail)
            recipient = **found;
    }
    std::optional<ComposedEmail> mail;
    if (recipient) {
        mail = m_composer.composeDispatchEmail(uitmeldId);
        if (!mail)
            return Step::Later;
    }
    // Another station may be moving the same note: whoever removes it queues the mail.
    Transaction tx(m_conn);
    Status s = tx.begin();
    bool mine = false;
    if (s) {
        auto d = m_conn.query(QStringLiteral("DELETE FROM uitmeldmail WHERE uitmeld_id = ?"), {sql::keyValue(uitmeldId)});
        if (d)
            mine = d->numRowsAffected() > 0;
        else
            s = Status::failure(d.error());
    }
    if (s && mine && recipient)
        s = Status::from(outbox::queueMail(m_conn, {outbox::dispatchKey(uitmeldId), uitmeldId,
                                                    trimAddress(recipient->email), recipient->naam, mail->subject,
                                                    mail->body, {}, {}}));
    if (s)
        s = tx.commit();
    if (!s) {
        m_log.writeLog(QStringLiteral("Uitmelding %1: openstaande e-mail niet in de wachtrij gezet: %2")
                           .arg(uitmeldId)
                           .arg(s.error()),
                       1);
        return Step::Later;
    }
    if (!mine)
        return Step::Dropped;
    if (!recipient) {
        m_log.writeLog(QStringLiteral("Uitmelding %1: openstaande e-mail vervalt, de melding is bevestigd of de "
                                      "ontvanger krijgt geen e-mail meer.")
                           .arg(uitmeldId),
                       1);
        return Step::Dropped;
    }
    m_log.writeLog(QStringLiteral("Uitmelding %1: e-mail aan %2 alsnog in de wachtrij gezet.")
                       .arg(uitmeldId)
                       .arg(recipient->naam),
                   1);
    return Step::Queued;
}

} // namespace taviro
