#pragma once

#include "DatabaseSettings.h"
#include "OutboxClaims.h"
#include "Result.h"
#include "SmtpSender.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <optional>

namespace taviro::mail {

// The outgoing mail server as the settings row holds it now.
Result<SmtpSettings> readSmtpSettings(const DatabaseConnector& conn);
// The same on a connection of its own, for a thread that keeps none.
Result<SmtpSettings> readSmtpSettings(const DatabaseSettings& database);

// How long and how often an undeliverable mail is tried again. The waits
// double from `first` up to `longest`; after `giveUp` since its first failure
// a mail is given up and reported. Tests shorten them through the environment.
struct RetryPolicy
{
    int firstSeconds = 10;
    int longestSeconds = 300;
    int giveUpSeconds = 3600;
    // How long a claim on one mail holds; a send is cut off well before.
    int leaseSeconds = 300;

    static RetryPolicy fromEnvironment();
    int delayAfter(int failures) const;
    int sendLimitSeconds() const { return std::max(1, leaseSeconds * 4 / 5); }
};

// Drains the room's outbox on its own thread, so a slow or absent mail server
// never keeps the service from answering the console. Every workstation's
// sender does this on the same table; a claim decides which one sends each
// mail. The settings row is read before every round, so a corrected server or
// password takes effect at once.
class MailDelivery : public QThread
{
    Q_OBJECT
public:
    // `host` names this machine in the claims (see OutboxClaims).
    MailDelivery(DatabaseSettings database, RetryPolicy policy, QString host, QObject* parent = nullptr);
    ~MailDelivery() override;

    // A mail was queued here: look now instead of at the next round.
    void wake();
    void stop();

Q_SIGNALS:
    // A line for the console's event log.
    void meldingMessage(const QString& text, int level);
    // For stderr only.
    void logLine(const QString& text);

protected:
    void run() override;

private:
    // Delivers what is due; returns how long to sleep before the next round.
    int deliverRound(const DatabaseConnector& conn, outbox::OutboxClaims& claims);
    void deliverOne(outbox::OutboxClaims& claims, const outbox::OutboxClaims::Claimed& claimed,
                    const SmtpSettings& settings);
    void noteLostClaim(const Result<bool>& held, const outbox::OutboxRow& row);
    void noteDatabaseProblem(const QString& error);

    DatabaseSettings m_database;
    RetryPolicy m_policy;
    QString m_host;
    SmtpSender m_sender;
    std::atomic_bool m_stopping = false;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_woken = false;

    QDateTime m_serverAwayUntil;
    QElapsedTimer m_sincePurge;
    bool m_settingsProblemReported = false;
    bool m_databaseProblemReported = false;
};

} // namespace taviro::mail
