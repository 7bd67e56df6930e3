#pragma once

#include "MailOutbox.h"
#include "Result.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <optional>

namespace taviro {

class DatabaseConnector;
class EventLog;

// The workstation name a station claims dispatches under: TAVIRO_STATION
// when set (two stations on one machine, as in tests), else the host name.
QString defaultStationName();

// Who is sending which dispatch. Before sending, a station flips the
// dispatch's `done` and writes a claim with a lease in the same transaction;
// recording the outcome removes the claim. A station renews its leases every
// minute while it lives, so a claim whose lease ran out belongs to a station
// that died (or lost the server) between claiming and recording: its dispatch
// is offered again instead of staying done but unsent. Leases run on the
// database server's clock, the one clock every station shares.
class DispatchClaims
{
public:
    enum class Outcome {
        SmsSent,          // one attempt more, an SMS dispatch from now on
        EmailSentKeepSms, // the e-mail went; the SMS repetition goes on
        EmailSentDone,    // an e-mail-only recipient: done
        Released,         // nothing went out: pending again, no attempt counted
    };

    DispatchClaims(const DatabaseConnector& conn, EventLog& log, QString station);

    const QString& station() const { return m_station; }
    void setLeaseSeconds(int seconds) { m_leaseSeconds = seconds; }

    // The dispatch's uitmeldtype when this station got it; nothing when
    // another station or a bulk close was first, or the database failed.
    std::optional<qint64> claim(qint64 uitmeldId);
    // Writes the outcome and drops the claim in one transaction; the e-mail
    // of an EmailSent outcome goes into the outbox in that same transaction,
    // so it is queued exactly when the dispatch says it was. An outcome the
    // database does not take now is kept and written by retryUnrecorded, so
    // a message that went out is not sent again after an outage.
    void record(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail = {});
    void retryUnrecorded();
    bool hasUnrecorded() const { return !m_unrecorded.isEmpty(); }

    // Every minute: the claims this station knows it holds live on. A claim
    // it does not know of (its commit was cut off with the connection) is
    // left to run out and be offered again.
    void renew();
    // Turns claims whose lease ran out back into pending dispatches; the
    // first call after start-up also takes this station's own leftovers, as
    // nothing can be in flight in a console that has just started.
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
    Status write(qint64 uitmeldId, Outcome outcome, const std::optional<outbox::OutgoingMail>& mail);
    QString nowSeconds() const;

    struct Unrecorded
    {
        qint64 uitmeldId;
        Outcome outcome;
        std::optional<outbox::OutgoingMail> mail;
    };

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    const QString m_station;
    int m_leaseSeconds = 180;
    bool m_ownLeftoversChecked = false;
    QElapsedTimer m_sinceOutage; // invalid: no outage seen
    QList<Unrecorded> m_unrecorded;
    qint64 m_inFlight = 0; // claimed, outcome not yet written
};

} // namespace taviro
