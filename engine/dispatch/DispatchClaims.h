#pragma once

#include "MailOutbox.h"
#include "Result.h"
#include "Workstation.h"

#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariantList>

#include <optional>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;

// Who is sending which dispatch. Before sending, a station flips the
// dispatch's `done` and writes a claim with a lease in the same transaction;
// recording the outcome removes the claim. A station renews its leases every
// minute while it lives, so a claim whose lease ran out belongs to a station
// that died (or lost the server) between claiming and recording: its dispatch
// is offered again instead of staying done but unsent. Leases run on the
// database server's clock, the one clock every station shares. A claim names
// the start of the workstation that holds it: once that workstation started
// again (its row in `werkplek` names a newer start) the claim is a leftover
// and is offered again at once. Every outcome is written only while this
// start's claim still stands, so a station that lost its claim (it was
// judged dead) never undoes what another did with the dispatch since.
class DispatchClaims
{
public:
    enum class Outcome {
        SmsSent,          // one attempt more, an SMS dispatch from now on
        EmailSentKeepSms, // the e-mail went; the SMS repetition goes on
        EmailSentDone,    // an e-mail-only recipient: done
        Released,         // nothing went out: pending again, no attempt counted
    };

    DispatchClaims(const DatabaseConnector& conn, const Clock& clock, EventLog& log, Workstation self);

    const QString& station() const { return m_self.naam; }
    const Workstation& workstation() const { return m_self; }
    void setWorkstation(Workstation self) { m_self = std::move(self); }
    void setLeaseSeconds(int seconds) { m_leaseSeconds = seconds; }

    // The condition on `uitmeld` that nobody acknowledged the dispatch or
    // closed it in bulk: what a release or a re-arm must never undo.
    static QString stillOpen();

    // The dispatch's uitmeldtype when this station got it; nothing when
    // another station or a bulk close was first, or the database failed.
    std::optional<qint64> claim(qint64 uitmeldId);
    // Writes the outcome and drops the claim in one transaction, if the claim
    // is still this start's; otherwise only says so. The e-mail of an
    // EmailSent outcome goes into the outbox in that same transaction, so it
    // is queued exactly when the dispatch says it was. An outcome the
    // database does not take now is kept and written by retryUnrecorded, so
    // a message that went out is not sent again after an outage.
    void record(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail = {});
    void retryUnrecorded();
    bool hasUnrecorded() const { return !m_unrecorded.isEmpty(); }

    // Every minute: the claims this station knows it holds live on. A claim
    // it does not know of (its commit was cut off with the connection) is
    // left to run out and be offered again.
    void renew();
    // Turns claims whose lease ran out, or whose workstation has started
    // again since, back into pending dispatches; the first call after
    // start-up also takes the leftovers of earlier starts of this
    // workstation (same name and kind), as they cannot be in flight.
    int recoverStale();
    // Only the start-up part of recoverStale, once.
    void recoverOwnLeftovers()
    {
        if (!m_ownLeftoversChecked)
            (void)recoverStale();
    }
    // After the connection came back, other stations get one lease to renew
    // or record their claims before this one judges them dead.
    void noteOutageEnded();

private:
    // False in `stood` when the claim was no longer this start's.
    Status write(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail, bool& stood);
    QString mineCondition() const;
    void noteLostClaim(qint64 uitmeldId, Outcome outcome);
    QVariantList mineValues() const;
    QString nowSeconds() const;

    struct Unrecorded
    {
        qint64 uitmeldId;
        Outcome outcome;
        std::optional<outbox::OutgoingMail> mail;
    };

    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    Workstation m_self;
    int m_leaseSeconds = 180;
    bool m_ownLeftoversChecked = false;
    QElapsedTimer m_sinceOutage; // invalid: no outage seen
    QList<Unrecorded> m_unrecorded;
    // Claimed, outcome not yet written: more than one while an SMS that
    // outlasted the console's wait is held for its outcome.
    QSet<qint64> m_inFlight;
};

} // namespace taviro
