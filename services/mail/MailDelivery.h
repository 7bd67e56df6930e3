#pragma once

#include "DatabaseSettings.h"
#include "MailQueue.h"
#include "Result.h"
#include "SmtpSender.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <optional>

namespace taviro::mail {

// The outgoing mail server as the settings row holds it now.
Result<SmtpSettings> readSmtpSettings(const DatabaseSettings& database);

// How long and how often an undeliverable mail is tried again. The waits
// double from `first` up to `longest`; after `giveUp` since its first failure
// a mail is set aside and reported. Tests shorten them through the environment.
struct RetryPolicy
{
    int firstSeconds = 10;
    int longestSeconds = 300;
    int giveUpSeconds = 3600;

    static RetryPolicy fromEnvironment();
    int delayAfter(int failures) const;
};

// Works through the queue on its own thread, so a slow or absent mail server
// never keeps the service from answering the console. The settings row is read
// before every round, so a corrected server or password takes effect at once.
class MailDelivery : public QThread
{
    Q_OBJECT
public:
    MailDelivery(MailQueue& queue, DatabaseSettings database, RetryPolicy policy,
                 QObject* parent = nullptr);
    ~MailDelivery() override;

    // A new mail is waiting: start a round now unless the server is known to be away.
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
    std::optional<SmtpSettings> loadSettings();
    // Delivers what is due; returns how long to sleep before the next round.
    int deliverRound();
    void deliverOne(QueuedMail& mail, const SmtpSettings& settings, const QDateTime& now);

    MailQueue& m_queue;
    DatabaseSettings m_database;
    RetryPolicy m_policy;
    SmtpSender m_sender;
    std::atomic_bool m_stopping = false;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_woken = false;

    // Per queue entry (by file name): failures so far and when to try again.
    struct RetryState
    {
        int failures = 0;
        QDateTime next;
    };
    QHash<QString, RetryState> m_retry;
    QDateTime m_serverAwayUntil;
    bool m_settingsProblemReported = false;
};

} // namespace taviro::mail
