#include "MailboxPoller.h"

#include "AlarmMailParser.h"
#include "DatabaseConnector.h"
#include "SqlReportStore.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace taviro::alarmemail {

namespace {

// Deletions are committed at the end of a session; a bounded batch keeps a
// broken connection from undoing the work on a mailbox with a thousand mails.
constexpr int BatchSize = 100;

} // namespace

MailboxPoller::MailboxPoller(DatabaseSettings database, QString seenFile, QObject* parent)
    : QThread(parent), m_database(std::move(database)), m_seenFile(std::move(seenFile))
{
}

MailboxPoller::~MailboxPoller()
{
    shutdown();
    wait();
}

void MailboxPoller::startPolling(const MailboxAccount& account, int intervalMinutes)
{
    QMutexLocker lock(&m_mutex);
    m_account = account;
    m_intervalMs = std::max(1, intervalMinutes) * 60 * 1000;
    m_pollRequested = true;
    m_wake.wakeAll();
}

void MailboxPoller::stopPolling()
{
    QMutexLocker lock(&m_mutex);
    m_account.reset();
    m_wake.wakeAll();
}

void MailboxPoller::pollNow()
{
    QMutexLocker lock(&m_mutex);
    m_pollRequested = true;
    m_wake.wakeAll();
}

void MailboxPoller::shutdown()
{
    m_stopping = true;
    QMutexLocker lock(&m_mutex);
    m_wake.wakeAll();
}

void MailboxPoller::run()
{
    QDeadlineTimer nextPoll(QDeadlineTimer::Forever);
    while (!m_stopping) {
        std::optional<MailboxAccount> account;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_pollRequested && !m_stopping)
                m_wake.wait(&m_mutex,
                            m_account ? nextPoll : QDeadlineTimer(QDeadlineTimer::Forever));
            const bool due = m_pollRequested || (m_account && nextPoll.hasExpired());
            m_pollRequested = false;
            if (!due || !m_account || m_stopping)
                continue;
            account = m_account;
            nextPoll = QDeadlineTimer(m_intervalMs);
        }
        poll(*account);
        Q_EMIT pollFinished();
    }
}

void MailboxPoller::reportProblem(const QString& text)
{
    // A mailbox that stays unreachable is told once on screen, then only in the file.
    Q_EMIT meldingMessage(text, text == m_lastProblem ? 1 : 0);
    m_lastProblem = text;
}

void MailboxPoller::poll(const MailboxAccount& account)
{
    auto connector = DatabaseConnector::open(m_database);
    if (!connector) {
        reportProblem(QStringLiteral("Alarm e-mail: database niet bereikbaar: ") +
                      connector.error());
        return;
    }
    SqlReportStore store(**connector);
    const QString mailbox =
        QStringLiteral("%1@%2:%3").arg(account.userName, account.server).arg(account.port);
    m_skipThisPoll.clear();
    bool more = true;
    while (more && !m_stopping) {
        more = false;
        if (!pollBatch(account, mailbox, store, more))
            return;
    }
    m_lastProblem.clear();
}

bool MailboxPoller::pollBatch(const MailboxAccount& account, const QString& mailbox,
                              ReportStore& store, bool& more)
{
    SeenMails seen(m_seenFile);
    int stored = 0;
    {
        Pop3Session session(account, m_stopping);
        auto entries = session.list();
        if (!entries) {
            reportProblem(QStringLiteral("Alarm e-mail: mailbox %1 niet bereikbaar: %2")
                              .arg(mailbox, entries.error()));
            return false;
        }
        QSet<QString> present;
        for (const MailboxEntry& e : std::as_const(*entries))
            present.insert(e.uid);
        seen.keepOnly(mailbox, present);

        int handled = 0;
        for (const MailboxEntry& entry : std::as_const(*entries)) {
            if (m_stopping)
                break;
            if (m_skipThisPoll.contains(entry.uid))
                continue;
            if (handled == BatchSize) {
                more = true;
                break;
            }
            ++handled;
            if (seen.contains(mailbox, entry.uid)) {
                // Stored before, but the deletion did not reach the server.
                if (Status s = session.remove(entry.number); !s)
                    Q_EMIT logLine(
                        QStringLiteral("verwijderen van %1 mislukt: %2").arg(entry.uid, s.error()));
                continue;
            }
            if (entry.size > MaxMailBytes) {
                m_skipThisPoll.insert(entry.uid);
                const QString text = QStringLiteral("Alarm e-mail %1 van %2 bytes is te groot om "
                                                    "te lezen en blijft in de mailbox")
                                         .arg(entry.uid)
                                         .arg(entry.size);
                if (!m_reportedUnreadable.contains(entry.uid)) {
                    m_reportedUnreadable.insert(entry.uid);
                    Q_EMIT meldingMessage(text, 0);
                }
                continue;
            }
            auto raw = session.retrieve(entry.number);
            // A server that drops the connection mid-mail can look like a
            // finished transfer; the size it listed tells the two apart.
            if (raw && raw->size() < entry.size)
                raw = Result<QByteArray>::failure(
                    QStringLiteral("verbinding verbroken na %1 van %2 bytes")
                        .arg(raw->size())
                        .arg(entry.size));
            if (!raw) {
                reportProblem(QStringLiteral("Alarm e-mail: ophalen van mail %1 mislukt: %2")
                                  .arg(entry.uid, raw.error()));
                break; // the session is broken; undeleted mails wait for the next poll
            }
            const ParsedAlarmMail parsed = parseAlarmMail(*raw, QDateTime::currentDateTime());
            if (!parsed.ok) {
                m_skipThisPoll.insert(entry.uid);
                const QString text =
                    QStringLiteral(
                        "Alarm e-mail \"%1\" is niet te lezen (%2) en blijft in de mailbox")
                        .arg(parsed.subject, parsed.problem);
                if (!m_reportedUnreadable.contains(entry.uid)) {
                    m_reportedUnreadable.insert(entry.uid);
                    Q_EMIT meldingMessage(text, 0);
                } else {
                    Q_EMIT logLine(text);
                }
                continue;
            }
            auto id = store.store(parsed.report);
            if (!id) {
                reportProblem(QStringLiteral("Alarm e-mail \"%1\" niet opgeslagen: %2")
                                  .arg(parsed.subject, id.error()));
                break; // keep the mail; the next poll tries again
            }
            ++stored;
            ++m_reportsStored;
            if (!seen.add(mailbox, entry.uid))
                Q_EMIT logLine(
                    QStringLiteral("kan %1 niet vastleggen als verwerkt").arg(entry.uid));
            Q_EMIT logLine(QStringLiteral("melding %1 van melder %2 opgeslagen uit \"%3\"")
                               .arg(*id)
                               .arg(parsed.report.melderAlias, parsed.subject));
            if (Status s = session.remove(entry.number); !s)
                Q_EMIT logLine(
                    QStringLiteral("verwijderen van %1 mislukt: %2").arg(entry.uid, s.error()));
        }
    } // QUIT: the deletions take effect
    if (stored > 0)
        Q_EMIT meldingReady();
    return true;
}

} // namespace taviro::alarmemail
