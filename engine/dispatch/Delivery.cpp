#include "Delivery.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "MessageComposer.h"
#include "Repositories.h"
#include "ServiceInterfaces.h"
#include "SqlValues.h"

namespace taviro {

namespace {

// How many pending dispatches one pass looks at before giving up on finding a
// reachable recipient; keeps a pass short whatever the backlog.
constexpr int kCandidatesPerPass = 50;

} // namespace

Delivery::Delivery(const DatabaseConnector& conn, const Clock& clock, EventLog& log,
                   const MessageComposer& composer, SmsGateway& sms, MailSender& mail)
    : m_conn(conn), m_clock(clock), m_log(log), m_composer(composer), m_sms(sms), m_mail(mail),
      m_claims(conn, log, defaultStationName()), m_owedMails(conn, log, composer, mail)
{
}

void Delivery::tick()
{
    m_claims.renew();
    m_claims.retryUnrecorded();
    m_claims.recoverStale();
    if (!m_shuttingDown)
        m_owedMails.retry();
}

bool Delivery::deliverNextDispatch()
{
    // What went out before an outage is written down before anything new goes.
    m_claims.retryUnrecorded();
    if (m_claims.hasUnrecorded())
        return false;
    m_claims.recoverOwnLeftovers();

    // Only dispatches that carry lines; the bookkeeping dispatch is done anyway.
    auto q = m_conn.query(
        QStringLiteral(
            "SELECT id, ontvanger_id, uitmeldtype FROM uitmeld WHERE done = ? AND EXISTS "
            "(SELECT 1 FROM uitmeldlink WHERE uitmeldlink.uitmeld_id = uitmeld.id) "
            "ORDER BY id DESC LIMIT %1")
            .arg(kCandidatesPerPass),
        {sql::boolValue(false)});
    if (!q) {
        m_log.writeLog(
            QStringLiteral("Uitmelden: openstaande uitmeldingen niet leesbaar: ") + q.error(), 1);
        return false;
    }
    struct Candidate
    {
        qint64 uitmeldId, ontvangerId, uitmeldtype;
    };
    QList<Candidate> candidates;
    while (q->next())
        candidates.append(
            {sql::toLong(q->value(0)), sql::toLong(q->value(1)), sql::toLong(q->value(2))});
    q->finish();

    OntvangerRepository recipients(m_conn);
    for (const auto& [uitmeldId, ontvangerId, uitmeldtype] : candidates) {
        auto found = recipients.find(ontvangerId);
        if (!found) {
            m_log.writeLog(QStringLiteral("Uitmelden: ontvanger %1 niet leesbaar: %2")
                               .arg(ontvangerId)
                               .arg(found.error()),
                           1);
            return false;
        }
        if (!found->has_value()) {
            m_log.writeLog(
                QStringLiteral(
                    "controleer rooster op verwijderde items ( hint: ontvanger %1 bestaat niet )")
                    .arg(ontvangerId),
                0);
            continue;
        }
        const Ontvanger& r = **found;
        if (r.deleted) {
            m_log.writeLog(QStringLiteral("controleer rooster op verwijderde items ( hint: ") +
                               r.naam + QStringLiteral(" )"),
                           0);
            continue;
        }
        if (!r.UseSMS && !r.UseEmail) {
            m_log.writeLog(
                QStringLiteral("Uitmelding %1 aan %2 niet verstuurd: geen SMS of e-mail ingesteld.")
                    .arg(uitmeldId)
                    .arg(r.naam),
                1);
            continue;
        }
        // Stations sharing the database read the same candidates; only the
        // one whose claim flips `done` sends, and it learns the dispatch's
        // state as of that moment rather than as read above.
        const std::optional<qint64> claimedType = m_claims.claim(uitmeldId);
        if (!claimedType)
            continue;
        // The mail goes first. It is only handed to the mail service's own
        // queue, and once recorded a station that dies before the SMS leaves a
        // dispatch that owes just the SMS. The other way round a death between
        // SMS and mail would lose the mail: a sent SMS makes it an SMS
        // dispatch, and its repetitions do not mail again.
        const bool mailDue = r.UseEmail && !m_shuttingDown && *claimedType == 0;
        const bool mailed = mailDue && sendEmailDispatch(uitmeldId, r);
        const bool mailRefused = mailDue && !mailed;
        bool delivered = mailed;
        bool smsOwed = false;
        if (r.UseSMS && !m_shuttingDown) {
            const bool texted = sendSmsDispatch(uitmeldId, r, mailRefused);
            if (texted && mailRefused)
                m_log.writeLog(QStringLiteral("Uitmelding %1 aan %2: e-mail niet aangeboden, "
                                              "alleen de SMS is verstuurd; de e-mail wordt elke "
                                              "minuut opnieuw aangeboden.")
                                   .arg(uitmeldId)
                                   .arg(r.naam),
                               1);
            delivered = texted || delivered;
            smsOwed = !texted;
        }
        if (smsOwed || !delivered)
            m_claims.record(uitmeldId, DispatchClaims::Outcome::Released);
        return delivered;
    }
    return false;
}

bool Delivery::sendSmsDispatch(qint64 uitmeldId, const Ontvanger& recipient, bool mailRefused)
{
    const std::optional<QString> text = m_composer.composeSmsText(uitmeldId);
    if (!text) {
        m_log.writeLog(
            QStringLiteral("Uitmelding %1: tekst niet leesbaar; blijft openstaan.").arg(uitmeldId),
            1);
        return false;
    }
    // A dispatch without lines has nothing to say; it counts as an attempt.
    const bool sent = text->isEmpty() || m_sms.sendSMS(recipient.mobielnr, recipient.naam, *text);
    if (!sent)
        return false; // stays pending; the next pass tries again without counting
    m_claims.record(uitmeldId, mailRefused ? DispatchClaims::Outcome::SmsSentMailOwed
                                           : DispatchClaims::Outcome::SmsSent);
    return true;
}

bool Delivery::sendEmailDispatch(qint64 uitmeldId, const Ontvanger& recipient)
{
    const QString address = trimAddress(recipient.email);
    const std::optional<ComposedEmail> mail = m_composer.composeDispatchEmail(uitmeldId);
    if (!mail) {
        m_log.writeLog(
            QStringLiteral("Uitmelding %1: e-mail niet leesbaar; blijft openstaan.").arg(uitmeldId),
            1);
        return false;
    }
    // A mail the sender did not take is not marked sent: the dispatch stays
    // pending and a later pass offers it again.
    if (!m_mail.send({address, recipient.naam, mail->subject, mail->body, {}}))
        return false;
    // A recipient who also gets SMS keeps an SMS dispatch, so its repetition
    // goes on; if the SMS did not go out, the dispatch stays pending for it.
    m_claims.record(uitmeldId, recipient.UseSMS ? DispatchClaims::Outcome::EmailSentKeepSms
                                                : DispatchClaims::Outcome::EmailSentDone);
    return true;
}

int Delivery::rearmSmsDispatches()
{
    auto max =
        m_conn.scalar(QStringLiteral("SELECT maxpogingen FROM settings ORDER BY id LIMIT 1"));
    if (!max) {
        m_log.writeLog(QStringLiteral("Herhalen: instellingen niet leesbaar: ") + max.error(), 1);
        return 0;
    }
    // Created today or yesterday: older alarms are not chased any more. One
    // being sent right now (claimed) is left to its sender, or a second
    // station could send the same repetition at the same time.
    const QDateTime since(m_clock.now().date().addDays(-1), QTime(0, 0));
    auto q = m_conn.query(
        QStringLiteral("UPDATE uitmeld SET done = ? WHERE uitmeldtype = 1 AND done = ? AND "
                       "bevestiger = 0 AND pogingen < ? AND %1 >= ? AND NOT EXISTS (SELECT 1 "
                       "FROM uitmeldclaim WHERE uitmeldclaim.uitmeld_id = uitmeld.id)")
            .arg(m_conn.id(QStringLiteral("date"))),
        {sql::boolValue(false), sql::boolValue(true), sql::keyValue(sql::toLong(*max)),
         sql::dateValue(since, m_conn.dialect())});
    if (!q) {
        m_log.writeLog(QStringLiteral("Herhalen: ") + q.error(), 1);
        return 0;
    }
    return q->numRowsAffected();
}

} // namespace taviro
