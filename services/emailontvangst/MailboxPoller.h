#pragma once

#include "DatabaseSettings.h"
#include "Pop3Session.h"
#include "ReportStore.h"
#include "SeenMails.h"

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
// alarm mail stays in the mailbox and is logged with its subject.
class MailboxPoller : public QThread
{
    Q_OBJECT
public:
    MailboxPoller(DatabaseSettings database, QString seenFile, QObject* parent = nullptr);
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
    bool pollBatch(const MailboxAccount& account, const QString& mailbox, ReportStore& store,
                   bool& more);
    void reportProblem(const QString& text);

    DatabaseSettings m_database;
    QString m_seenFile;
    std::atomic_bool m_stopping = false;
    QMutex m_mutex;
    QWaitCondition m_wake;
    bool m_pollRequested = false;
    std::optional<MailboxAccount> m_account;
    int m_intervalMs = 5 * 60 * 1000;
    std::atomic_int m_reportsStored = 0;
    QSet<QString> m_reportedUnreadable; // uids already told to the operator
    QSet<QString> m_skipThisPoll;
    QString m_lastProblem;
};

} // namespace taviro::alarmemail
