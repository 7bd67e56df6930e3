#pragma once

#include "DatabaseSettings.h"
#include "Pop3Session.h"
#include "SqlReportStore.h"
#include "PassedOverMails.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <optional>

namespace taviro::alarmemail {

// Polls the alarm mailbox on its own thread, so a slow server never keeps the
// service from answering the console. Each alarm mail becomes a report in one
// transaction; only then is it deleted from the mailbox. A mail that is no
// alarm mail, is too large, or cannot be fetched after a few tries stays in
// the mailbox, is logged with its subject once and is not fetched again.
class MailboxPoller : public QThread
{
    Q_OBJECT
public:
    MailboxPoller(DatabaseSettings database, QString passedOverFile, QObject* parent = nullptr);
    ~MailboxPoller() override;

    // Polls now and then every `intervalMinutes`.
    void startPolling(const MailboxAccount& account, int intervalMinutes);
    void stopPolling();
    void pollNow();
    void shutdown();

    int reportsStored() const { return m_reportsStored; }

Q_SIGNALS:
    void meldingReady();
    void meldingMessage(const QString& text, int level);
    void logLine(const QString& text);
    // Queued behind the poll's own messages, so whoever counts polls on the
    // service's main thread has written those messages out first.
    void pollFinished();

protected:
    void run() override;

private:
    void poll(const MailboxAccount& account);
    // One POP3 session over at most a batch of mails; false when the session failed.
    bool pollBatch(const MailboxAccount& account, const QString& mailbox, SqlReportStore& store,
                   const QDeadlineTimer& budget, bool& more);
    void reportProblem(const QString& text);
    // Leaves the mail in the mailbox for good and tells the operator why.
    void passOver(PassedOverMails& passed, const QString& mailbox, const MailboxEntry& entry,
                  const QByteArray& headerFingerprint, const QString& text);
    // Whether the mail listed under a passed-over UIDL is still the one passed over.
    static bool stillPassedOver(Pop3Session& session, const MailboxEntry& entry, const PassedOverMails::Mail& mail);
    int failures(const QString& uid) const;

    DatabaseSettings m_database;
    QString m_passedOverFile;
    std::atomic_bool m_stopping = false;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_pollRequested = false;
    std::optional<MailboxAccount> m_account;
    int m_intervalMs = 5 * 60 * 1000;
    std::atomic_int m_reportsStored = 0;
    QSet<QString> m_skipThisPoll;
    // Failed tries per uid. A mail that failed goes behind the others in the
    // next poll, so it never holds back the mails after it.
    QHash<QString, int> m_fetchFailures;
    QHash<QString, int> m_storeFailures;
    bool m_outOfTime = false;
    QString m_lastProblem;
};

} // namespace taviro::alarmemail
