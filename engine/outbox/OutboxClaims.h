#pragma once

#include "MailOutbox.h"
#include "Result.h"

#include <functional>
#include <optional>

namespace taviro {

class DatabaseConnector;

namespace outbox {

// One mail sender's hold on the outbox. A sender claims a due row before it
// talks to the mail server and gives it up in the statement that records the
// outcome, so of all the senders of the room (one per workstation, several
// on one machine) exactly one sends each mail. A claim carries a lease on
// the database server's clock that is longer than any single send may take:
// only a sender that died (or lost the server) between the server's "OK" and
// recording it leaves a claim to run out, and then that one mail goes a
// second time rather than never.
class OutboxClaims
{
public:
    // `owner` names this sender: host and process, so a sender restarted on
    // the same machine recognises what its dead predecessor left.
    OutboxClaims(const DatabaseConnector& conn, QString owner, int leaseSeconds = 300);

    static QString ownerName(const QString& host, qint64 pid);

    const QString& owner() const { return m_owner; }
    int leaseSeconds() const { return m_leaseSeconds; }

    struct Claimed
    {
        OutboxRow row;
        qint64 serverNow = 0;
    };
    // The oldest due row nobody holds, now held by this sender; nothing when
    // none is due.
    Result<std::optional<Claimed>> claimNext();
    // Each returns whether this sender still held the row: false means its
    // lease ran out and another sender may have sent the mail as well.
    Result<bool> markSent(qint64 id);
    Result<bool> markFailed(qint64 id, const QString& reason);
    Result<bool> postpone(qint64 id, const QString& reason, qint64 firstFailure, int delaySeconds);
    // At a sender's start: gives back rows whose owner on this host is no
    // longer a running sender (`alive` tells by process id), and rows under
    // its own name, at once rather than after the lease.
    Result<int> releaseLeftovers(const QString& host, const std::function<bool(qint64 pid)>& alive);
    // Seconds until the next waiting row is due (0: now); nothing when none waits.
    Result<std::optional<qint64>> secondsUntilDue();
    // Sent and failed rows older than `days` go; a waiting row never does.
    Result<int> purgeFinished(int days);

private:
    Result<bool> finish(const QString& set, QVariantList binds, qint64 id);

    const DatabaseConnector& m_conn;
    QString m_owner;
    int m_leaseSeconds;
};

} // namespace outbox
} // namespace taviro
