#include "Delivery.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "MessageComposer.h"
#include "Repositories.h"
#include "SqlValues.h"
#include "Transaction.h"
#include "WorkNotice.h"

namespace taviro {

namespace {

// How many pending dispatches one pass looks at before giving up on finding a
// reachable recipient; keeps a pass short whatever the backlog.
constexpr int kCandidatesPerPass = 50;

// A send the service still calls running after this long is stuck: the
// service is started afresh, so that send can no longer go out, and the
// dispatch is offered again rather than held for ever.
constexpr int kHeldLimitSecs = 15 * 60;

const QString kRearmDuty = QStringLiteral("herhalen");

} // namespace

Delivery::Delivery(const DatabaseConnector& conn, const Clock& clock, EventLog& log,
                   const MessageComposer& composer, SmsGateway& sms)
    : m_conn(conn), m_clock(clock), m_log(log), m_composer(composer), m_sms(sms),
      m_claims(conn, clock, log, Workstation::starting(defaultStationName(), Workstation::consoleKind())),
      m_owedMails(conn, log, composer), m_retry(conn, clock, log, m_claims.station()),
      m_standing(log, m_claims.station()), m_slots(conn, m_claims.workstation())
{
}

void Delivery::setWorkstation(const Workstation& self)
{
    m_claims.setWorkstation(self);
    m_slots.setWorkstation(self);
    m_retry.setStation(self.naam);
    m_standing.setStation(self.naam);
}

void Delivery::tick()
{
    settleHeldSends();
    m_claims.renew();
    m_claims.retryUnrecorded();
    m_claims.recoverStale();
    if (!m_shuttingDown)
        m_owedMails.retry();
}

bool Delivery::deliverNextDispatch()
{
    if (m_shuttingDown)
        return false;
    // What went out before an outage is written down before anything new goes.
    m_claims.retryUnrecorded();
    if (m_claims.hasUnrecorded())
        return false;
    m_claims.recoverOwnLeftovers();
    m_smsAvailable = m_standing.claimsSms();
    settleHeldSends();

    // Only dispatches with at least one line that still exists (the
    // bookkeeping dispatch is done anyway), and none that is pausing after a
    // failure.
    // Without a modem, what owes only an SMS is left out of the search too,
    // so a row of those cannot hide the e-mails further down.
    QVariantList binds = QVariantList{sql::boolValue(false)} + m_retry.dueValues();
    QString smsOnly;
    if (!smsCanGo()) {
        smsOnly = QStringLiteral(
            " AND NOT EXISTS (SELECT 1 FROM ontvangers WHERE ontvangers.id = uitmeld.ontvanger_id "
            "AND ontvangers.UseSMS = ? AND (uitmeld.uitmeldtype <> 0 OR ontvangers.UseEmail = ?))");
        binds << sql::boolValue(true) << sql::boolValue(false);
    }
    auto q = m_conn.query(
        QStringLiteral(
            "SELECT id, ontvanger_id, %1, uitmeldtype FROM uitmeld WHERE done = ? AND EXISTS "
            "(SELECT 1 FROM uitmeldlink INNER JOIN meldindex ON meldindex.id = uitmeldlink.meldindex_id "
            "WHERE uitmeldlink.uitmeld_id = uitmeld.id) AND %2%3 ORDER BY id DESC LIMIT %4")
            .arg(DeliveryRetry::failuresColumn(), DeliveryRetry::dueCondition(), smsOnly)
            .arg(kCandidatesPerPass),
        binds);
    if (!q) {
        m_log.writeLog(
            QStringLiteral("Uitmelden: openstaande uitmeldingen niet leesbaar: ") + q.error(), 1);
        return false;
    }
    QList<Candidate> candidates;
    while (q->next())
        candidates.append({sql::toLong(q->value(0)), sql::toLong(q->value(1)),
                           sql::toLong(q->value(2)), sql::toLong(q->value(3))});
    q->finish();

    for (const Candidate& c : candidates) {
        switch (deliver(c)) {
        case Step::Delivered:
        case Step::SmsFailed:
            return true;
        case Step::PassedOver:
            continue;
        case Step::Stop:
            return false;
        }
    }
    return false;
}

std::optional<Ontvanger> Delivery::recipientOf(const Candidate& c, bool& stop)
{
    auto found = OntvangerRepository(m_conn).find(c.ontvangerId);
    if (!found) {
        m_log.writeLog(QStringLiteral("Uitmelden: ontvanger %1 niet leesbaar: %2")
                           .arg(c.ontvangerId)
                           .arg(found.error()),
                       1);
        stop = true;
        return std::nullopt;
    }
    if (!found->has_value()) {
        m_retry.failed(c.uitmeldId, QStringLiteral("ontvanger bestaat niet"),
                       QStringLiteral("controleer rooster op verwijderde items ( hint: ontvanger %1 "
                                      "bestaat niet )")
                           .arg(c.ontvangerId));
        return std::nullopt;
    }
    const Ontvanger& r = **found;
    if (r.deleted) {
        m_retry.failed(c.uitmeldId, QStringLiteral("ontvanger verwijderd"),
                       QStringLiteral("controleer rooster op verwijderde items ( hint: ") + r.naam +
                           QStringLiteral(" )"));
        return std::nullopt;
    }
    if (!r.UseSMS && !r.UseEmail) {
        m_retry.failed(
            c.uitmeldId, QStringLiteral("geen SMS of e-mail ingesteld"),
            QStringLiteral("Uitmelding %1 aan %2 niet verstuurd: geen SMS of e-mail ingesteld.")
                .arg(c.uitmeldId)
                .arg(r.naam));
        return std::nullopt;
    }
    return r;
}

Delivery::Step Delivery::deliver(const Candidate& c)
{
    bool stop = false;
    const std::optional<Ontvanger> found = recipientOf(c, stop);
    if (!found)
        return stop ? Step::Stop : Step::PassedOver;
    const Ontvanger& r = *found;
    // This station's modem cannot send: a dispatch that owes only its SMS
    // is not even claimed, so it waits for a station whose modem can.
    const bool smsHere = smsCanGo() || !r.UseSMS;
    if (!smsHere && (!r.UseEmail || c.uitmeldtype != 0))
        return Step::PassedOver;
    // Stations sharing the database read the same candidates; only the
    // one whose claim flips `done` sends, and it learns the dispatch's
    // state as of that moment rather than as read above.
    const std::optional<qint64> claimedType = m_claims.claim(c.uitmeldId);
    if (!claimedType)
        return Step::PassedOver;
    auto release = [&] { m_claims.record(c.uitmeldId, DispatchClaims::Outcome::Released); };
    if (!smsHere && *claimedType != 0) {
        release(); // its e-mail went meanwhile; the SMS is not ours to send
        return Step::PassedOver;
    }
    auto wentAfterAll = [&] {
        if (c.failures > 0)
            m_log.writeLog(QStringLiteral("Uitmelding %1 aan %2 alsnog verstuurd.").arg(c.uitmeldId).arg(r.naam), 0);
    };

    // The mail goes first. It is only queued in the outbox, and once
    // recorded a station that dies before the SMS leaves a dispatch that
    // owes just the SMS. The other way round a death between SMS and mail
    // would lose the mail: a sent SMS makes it an SMS dispatch, and its
    // repetitions do not mail again.
    bool mailed = false;
    if (r.UseEmail && *claimedType == 0) {
        if (trimAddress(r.email).isEmpty()) {
            mailToNobody(c.uitmeldId, r);
        } else {
            if (sendEmailDispatch(c.uitmeldId, r) == Sent::Unreadable) {
                release();
                return Step::Stop;
            }
            mailed = true;
        }
    }

    if (!r.UseSMS) {
        if (mailed)
            wentAfterAll();
        // Without an address the e-mail part is finished and nothing went out.
        return mailed ? Step::Delivered : Step::PassedOver;
    }

    if (!smsHere) {
        // The e-mail part is done here; the SMS stays pending, unclaimed.
        release();
        return mailed ? Step::Delivered : Step::PassedOver;
    }

    QString reason;
    QString line;
    bool modemTried = false;
    if (r.mobielnr.trimmed().isEmpty()) {
        reason = QStringLiteral("geen mobiel nummer");
        line = QStringLiteral("Uitmelding %1 aan %2: geen SMS verstuurd, er is geen mobiel nummer "
                              "ingevuld; blijft openstaan.")
                   .arg(c.uitmeldId)
                   .arg(r.naam);
    } else {
        const Sent texted = sendSmsDispatch(c.uitmeldId, r);
        if (texted == Sent::Yes) {
            m_standing.noteSent();
            wentAfterAll();
            return Step::Delivered;
        }
        if (texted == Sent::Running) {
            // Claimed until its outcome is known; meanwhile no SMS goes from here.
            m_log.writeLog(QStringLiteral("Uitmelding %1 aan %2: de SMS naar %3 is nog onderweg; ze wordt niet "
                                          "opnieuw verstuurd voordat de SMS-dienst de uitkomst meldt.")
                               .arg(c.uitmeldId)
                               .arg(r.naam, r.mobielnr),
                           1);
            return Step::SmsFailed;
        }
        if (texted == Sent::Unreadable || m_shuttingDown) {
            release();
            return Step::Stop;
        }
        modemTried = true;
        m_standing.noteSendFailed();
        reason = QStringLiteral("SMS niet verzonden");
        line = QStringLiteral("Uitmelding %1 aan %2: SMS naar %3 niet verzonden; blijft openstaan.")
                   .arg(c.uitmeldId)
                   .arg(r.naam, r.mobielnr);
    }
    // Nothing counted: the dispatch stays pending for what it still owes.
    release();
    // A modem's failure pauses the dispatch for this station only: another
    // station's modem may take it at once.
    m_retry.failed(c.uitmeldId, reason, line,
                   modemTried ? DeliveryRetry::Scope::ThisStation : DeliveryRetry::Scope::AllStations);
    if (modemTried)
        return Step::SmsFailed;
    return mailed ? Step::Delivered : Step::PassedOver;
}

void Delivery::mailToNobody(qint64 uitmeldId, const Ontvanger& recipient)
{
    // Nobody to mail: the e-mail part is over, as if handed on, so an
    // e-mail-only dispatch ends instead of waiting for an address forever.
    m_log.writeLog(QStringLiteral("Uitmelding %1 aan %2: geen e-mailadres ingevuld; de e-mail is niet "
                                  "verstuurd.")
                       .arg(uitmeldId)
                       .arg(recipient.naam),
                   0);
    m_claims.record(uitmeldId, recipient.UseSMS ? DispatchClaims::Outcome::EmailSentKeepSms
                                                : DispatchClaims::Outcome::EmailSentDone);
}

Delivery::Sent Delivery::sendSmsDispatch(qint64 uitmeldId, const Ontvanger& recipient)
{
    const std::optional<QString> text = m_composer.composeSmsText(uitmeldId);
    if (!text) {
        m_log.writeLog(
            QStringLiteral("Uitmelding %1: tekst niet leesbaar; blijft openstaan.").arg(uitmeldId),
            1);
        return Sent::Unreadable;
    }
    // A dispatch without lines has nothing to say; it counts as an attempt.
    SmsAttempt attempt{SmsAttempt::Result::Sent, {}, {}};
    if (!text->isEmpty())
        attempt = m_sms.sendSMS(recipient.mobielnr, recipient.naam, *text);
    switch (attempt.result) {
    case SmsAttempt::Result::NotSent:
        return Sent::No; // stays pending; a later pass tries again without counting
    case SmsAttempt::Result::Running:
        m_held.append({uitmeldId, attempt.sendId, recipient.naam, m_clock.now()});
        return Sent::Running;
    case SmsAttempt::Result::Sent:
        break;
    }
    m_claims.record(uitmeldId, DispatchClaims::Outcome::SmsSent);
    return Sent::Yes;
}

void Delivery::settleHeldSends()
{
    // Asking the service lets the event loop run; a pass or a tick that
    // comes meanwhile must not settle the same send a second time.
    if (m_settling || m_held.isEmpty())
        return;
    m_settling = true;
    const QList<HeldSend> held = m_held;
    for (const HeldSend& h : held) {
        SmsAttempt a = m_sms.settleSend(h.sendId);
        const qint64 heldSecs = h.since.secsTo(m_clock.now());
        if (a.result == SmsAttempt::Result::Running && heldSecs < kHeldLimitSecs)
            continue;
        if (a.result == SmsAttempt::Result::Running) {
            m_sms.abandonSend(h.sendId);
            a = m_sms.settleSend(h.sendId);
            if (a.result == SmsAttempt::Result::Running)
                continue; // still not known: held, and asked again at the next tick
        }
        m_held.removeIf([&h](const HeldSend& x) { return x.sendId == h.sendId; });
        if (a.result == SmsAttempt::Result::Sent) {
            m_standing.noteSent();
            m_claims.record(h.uitmeldId, DispatchClaims::Outcome::SmsSent);
            m_log.writeLog(QStringLiteral("Uitmelding %1 aan %2: de SMS is na het wachten alsnog verzonden.")
                               .arg(h.uitmeldId)
                               .arg(h.naam),
                           1);
            continue;
        }
        const QString why = a.reason;
        m_standing.noteSendFailed();
        m_claims.record(h.uitmeldId, DispatchClaims::Outcome::Released);
        m_retry.failed(h.uitmeldId, QStringLiteral("SMS niet verzonden"),
                       QStringLiteral("Uitmelding %1 aan %2: SMS niet verzonden (%3); blijft openstaan.")
                           .arg(h.uitmeldId)
                           .arg(h.naam, why.isEmpty() ? QStringLiteral("geen reden bekend") : why));
    }
    m_settling = false;
}

Delivery::Sent Delivery::sendEmailDispatch(qint64 uitmeldId, const Ontvanger& recipient)
{
    const QString address = trimAddress(recipient.email);
    const std::optional<ComposedEmail> mail = m_composer.composeDispatchEmail(uitmeldId);
    if (!mail) {
        m_log.writeLog(
            QStringLiteral("Uitmelding %1: e-mail niet leesbaar; blijft openstaan.").arg(uitmeldId),
            1);
        return Sent::Unreadable;
    }
    // A recipient who also gets SMS keeps an SMS dispatch, so its repetition
    // goes on; if the SMS did not go out, the dispatch stays pending for it.
    m_claims.record(uitmeldId,
                    recipient.UseSMS ? DispatchClaims::Outcome::EmailSentKeepSms
                                     : DispatchClaims::Outcome::EmailSentDone,
                    outbox::OutgoingMail{outbox::dispatchKey(uitmeldId), uitmeldId, address, recipient.naam,
                                         mail->subject, mail->body, {}, {}});
    return Sent::Yes;
}

bool Delivery::rearmDue() const
{
    const qint64 quarter = DutySlots::slotOf(m_clock.now().toSecsSinceEpoch(), DutySlots::kQuarterSecs);
    auto last = m_slots.lastTaken(kRearmDuty);
    return last && (!*last || **last < quarter);
}

int Delivery::rearmSmsDispatches()
{
    const qint64 quarter = DutySlots::slotOf(m_clock.now().toSecsSinceEpoch(), DutySlots::kQuarterSecs);
    // The room re-arms once per quarter-hour mark, whoever looks first; the
    // others, and a late or doubled timer, find the mark taken.
    auto last = m_slots.lastTaken(kRearmDuty);
    if (!last) {
        m_log.writeLog(QStringLiteral("Herhalen: ") + last.error(), 1);
        return 0;
    }
    if (*last && **last >= quarter)
        return 0;
    auto max =
        m_conn.scalar(QStringLiteral("SELECT maxpogingen FROM settings ORDER BY id LIMIT 1"));
    if (!max) {
        m_log.writeLog(QStringLiteral("Herhalen: instellingen niet leesbaar: ") + max.error(), 1);
        return 0;
    }
    Transaction tx(m_conn);
    Status s = tx.begin();
    auto mine = s ? m_slots.take(kRearmDuty, quarter) : Result<bool>::failure(s.error());
    if (!mine) {
        m_log.writeLog(QStringLiteral("Herhalen: ") + mine.error(), 1);
        return 0;
    }
    if (!*mine)
        return 0;
    // Created today or yesterday: older alarms are not chased any more. One
    // being sent right now (claimed) is left to its sender, or a second
    // station could send the same repetition at the same time; one that
    // already went in this quarter (the mark's re-arm runs late) waits for
    // the next mark, so no quarter sees it twice.
    const QDateTime since(m_clock.now().date().addDays(-1), QTime(0, 0));
    auto q = m_conn.query(
        QStringLiteral("UPDATE uitmeld SET done = ? WHERE uitmeldtype = 1 AND done = ? AND %2 AND pogingen < ? "
                       "AND %1 >= ? AND NOT EXISTS "
                       "(SELECT 1 FROM uitmeldclaim WHERE uitmeldclaim.uitmeld_id = uitmeld.id) AND NOT EXISTS "
                       "(SELECT 1 FROM uitmeldverzonden WHERE uitmeldverzonden.uitmeld_id = uitmeld.id AND "
                       "uitmeldverzonden.kwartier >= ?)")
            .arg(m_conn.id(QStringLiteral("date")), DispatchClaims::stillOpen()),
        {sql::boolValue(false), sql::boolValue(true), sql::keyValue(sql::toLong(*max)),
         sql::dateValue(since, m_conn.dialect()), sql::keyValue(quarter)});
    if (!q) {
        m_log.writeLog(QStringLiteral("Herhalen: ") + q.error(), 1);
        return 0;
    }
    const int rearmed = q->numRowsAffected();
    q->finish();
    // What is older than the oldest dispatch still chased is history.
    constexpr qint64 kKeepSecs = 3 * 24 * 3600;
    if (s)
        s = m_conn.exec(QStringLiteral("DELETE FROM uitmeldverzonden WHERE kwartier < ?"),
                        {sql::keyValue(quarter - kKeepSecs)});
    if (s)
        s = m_slots.forgetBefore(kRearmDuty, quarter - kKeepSecs);
    if (s)
        s = tx.commit();
    if (!s) {
        m_log.writeLog(QStringLiteral("Herhalen: ") + s.error(), 1);
        return 0;
    }
    if (rearmed > 0)
        (void)announceWork(m_conn); // the stations look every second anyway
    return rearmed;
}

} // namespace taviro
