#include "MailboxPoller.h"

#include "AlarmMailParser.h"
#include "DatabaseConnector.h"
#include "MailIdentity.h"
#include "MimeText.h"
#include "SqlReportStore.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace taviro::alarmemail {

namespace {

// Deletions are committed at the end of a session; a bounded batch keeps a
// broken connection from undoing the work on a mailbox with a thousand mails.
constexpr int BatchSize = 100;

// A mail whose transfer broke off this often is not tried again: a mail that
// always breaks the connection would otherwise be fetched at every poll.
constexpr int MaxFetchTries = 3;

// A poll that has worked this long ends after the mail in hand and the next
// one starts at once, so a stop or new settings are heard in between and
// the deletions so far are committed.
constexpr int PollBudgetMs = 2 * 60 * 1000;

// Reports in a row that the database refused before it counts as unreachable
// for this poll. One refused report does not keep the others from being stored.
constexpr int MaxStoreFailuresInARow = 3;

QString fromWhom(const QString& sender)
{
    return sender.isEmpty() ? QString() : QStringLiteral(" van ") + sender;
}

} // namespace

MailboxPoller::MailboxPoller(DatabaseSettings database, QString passedOverFile, QObject* parent)
    : QThread(parent), m_database(std::move(database)), m_passedOverFile(std::move(passedOverFile))
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
    m_outOfTime = false;
    const QDeadlineTimer budget(PollBudgetMs);
    bool more = true;
    while (more && !m_stopping) {
        more = false;
        if (!pollBatch(account, mailbox, store, budget, more))
            return;
    }
    if (m_outOfTime) {
        Q_EMIT meldingMessage(QStringLiteral("Alarm e-mail: mailbox %1 na %2 s nog niet leeg; "
                                             "verder in de volgende poll")
                                  .arg(mailbox)
                                  .arg(PollBudgetMs / 1000),
                              1);
        QMutexLocker lock(&m_mutex);
        m_pollRequested = true;
    }
    m_lastProblem.clear();
}

int MailboxPoller::failures(const QString& uid) const
{
    return m_fetchFailures.value(uid) + m_storeFailures.value(uid);
}

void MailboxPoller::passOver(PassedOverMails& passed, const QString& mailbox, const MailboxEntry& entry,
                             const QByteArray& headerFingerprint, const QString& text)
{
    m_skipThisPoll.insert(entry.uid);
    m_fetchFailures.remove(entry.uid);
    if (!passed.passOver(mailbox, entry.uid, {entry.size, headerFingerprint}))
        Q_EMIT logLine(QStringLiteral("kan %1 niet vastleggen als overgeslagen").arg(entry.uid));
    Q_EMIT meldingMessage(text, 0);
}

bool MailboxPoller::stillPassedOver(Pop3Session& session, const MailboxEntry& entry,
                                    const PassedOverMails::Mail& mail)
{
    // The headers tell; a server without TOP leaves only the size to go by.
    if (!mail.headerFingerprint.isEmpty())
        if (auto headers = session.headers(entry.number))
            return headerFingerprint(*headers) == mail.headerFingerprint;
    return entry.size == mail.size;
}

bool MailboxPoller::pollBatch(const MailboxAccount& account, const QString& mailbox,
                              SqlReportStore& store, const QDeadlineTimer& budget, bool& more)
{
    PassedOverMails passed(m_passedOverFile);
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
        passed.keepOnly(mailbox, present);
        auto gone = [&](const QHash<QString, int>::iterator& it) {
            return !present.contains(it.key());
        };
        m_fetchFailures.removeIf(gone);
        m_storeFailures.removeIf(gone);
        std::stable_sort(entries->begin(), entries->end(),
                         [this](const MailboxEntry& a, const MailboxEntry& b) {
                             return failures(a.uid) < failures(b.uid);
                         });

        int handled = 0, storeFailuresInARow = 0;
        for (const MailboxEntry& entry : std::as_const(*entries)) {
            if (m_stopping)
                break;
            if (m_skipThisPoll.contains(entry.uid))
                continue;
            if (auto mail = passed.find(mailbox, entry.uid)) {
                if (stillPassedOver(session, entry, *mail))
                    continue;
                // The server gave that UIDL to another mail.
                passed.forget(mailbox, entry.uid);
                m_fetchFailures.remove(entry.uid);
                m_storeFailures.remove(entry.uid);
            }
            if (handled == BatchSize) {
                more = true;
                break;
            }
            if (budget.hasExpired()) {
                m_outOfTime = true;
                break;
            }
            ++handled;
            if (entry.size > MaxMailBytes) {
                auto headers = session.headers(entry.number);
                passOver(passed, mailbox, entry,
                         headers ? headerFingerprint(*headers) : QByteArray(),
                         QStringLiteral("Alarm e-mail %1 van %2 bytes is te groot om "
                                        "te lezen en blijft in de mailbox")
                             .arg(entry.uid)
                             .arg(entry.size));
                continue;
            }
            auto raw = session.retrieve(entry.number, entry.size);
            // A server that drops the connection mid-mail can look like a
            // finished transfer. A mail shorter than listed is only taken
            // when the connection it came over still answers: then the
            // server's size was wrong, not the transfer.
            if (raw && raw->size() < entry.size) {
                if (session.stillConnected())
                    Q_EMIT logLine(QStringLiteral("%1: %2 bytes ontvangen, de server noemde er %3")
                                       .arg(entry.uid)
                                       .arg(raw->size())
                                       .arg(entry.size));
                else
                    raw = Result<QByteArray>::failure(QStringLiteral("verbinding verbroken na %1 van %2 bytes")
                                                          .arg(raw->size())
                                                          .arg(entry.size));
            }
            if (!raw) {
                if (++m_fetchFailures[entry.uid] >= MaxFetchTries)
                    passOver(passed, mailbox, entry, QByteArray(),
                             QStringLiteral("Alarm e-mail %1 van %2 bytes is na %3 pogingen niet "
                                            "op te halen (%4) en blijft in de mailbox")
                                 .arg(entry.uid)
                                 .arg(entry.size)
                                 .arg(MaxFetchTries)
                                 .arg(raw.error()));
                else
                    reportProblem(QStringLiteral("Alarm e-mail: ophalen van mail %1 mislukt: %2")
                                      .arg(entry.uid, raw.error()));
                break; // the session is broken; undeleted mails wait for the next poll
            }
            m_fetchFailures.remove(entry.uid);
            const ParsedAlarmMail parsed = parseAlarmMail(*raw, QDateTime::currentDateTime());
            if (parsed.ignoredBytes > 0)
                Q_EMIT meldingMessage(
                    QStringLiteral("Alarm e-mail \"%1\"%2: alleen de eerste %3 KB "
                                   "tekst gelezen, %4 bytes daarna genegeerd")
                        .arg(parsed.subject, fromWhom(parsed.sender))
                        .arg(MaxTextBytes / 1024)
                        .arg(parsed.ignoredBytes),
                    1);
            if (!parsed.futureDates.isEmpty())
                Q_EMIT meldingMessage(QStringLiteral("Alarm e-mail \"%1\"%2: datum %3 ligt in de toekomst; "
                                                     "de ontvangsttijd is opgeslagen")
                                          .arg(parsed.subject, fromWhom(parsed.sender),
                                               parsed.futureDates.join(QStringLiteral(", "))),
                                      1);
            if (!parsed.ok) {
                passOver(passed, mailbox, entry, headerFingerprint(*raw),
                         QStringLiteral("Alarm e-mail \"%1\"%2 is niet te lezen (%3) en blijft in "
                                        "de mailbox")
                             .arg(parsed.subject, fromWhom(parsed.sender), parsed.problem));
                continue;
            }
            // The mail's key (mailbox, UIDL and what the mail holds) is kept
            // with the report in its own transaction. A mail is deleted only
            // once it was read in this session and its report is stored under
            // that key, now or before: a station that stored it and died
            // before the deletion reached the server, or another station
            // polling the same mailbox, finds it stored and does not store it
            // again, and a new mail under an old UIDL is a new key.
            const QString key = QStringLiteral("mail %1 %2 %3")
                                    .arg(mailbox, entry.uid, QString::fromLatin1(mailFingerprint(*raw)));
            auto id = store.storeOnce(parsed.report, key);
            if (!id) {
                // Keep the mail for the next poll, behind the others.
                ++m_storeFailures[entry.uid];
                m_skipThisPoll.insert(entry.uid);
                reportProblem(QStringLiteral("Alarm e-mail \"%1\" niet opgeslagen: %2")
                                  .arg(parsed.subject, id.error()));
                if (++storeFailuresInARow == MaxStoreFailuresInARow)
                    break;
                continue;
            }
            storeFailuresInARow = 0;
            m_storeFailures.remove(entry.uid);
            if (id->repeat) {
                // Still in the mailbox: the key must outlive it, or the mail
                // would be stored again once the key is forgotten.
                if (Status s = store.keepKey(key, parsed.report.receivedAt); !s)
                    Q_EMIT logLine(QStringLiteral("sleutel van %1 niet bijgewerkt: %2").arg(entry.uid, s.error()));
                Q_EMIT logLine(QStringLiteral("%1 was al opgeslagen als melding %2; niet nog eens opgeslagen")
                                   .arg(entry.uid)
                                   .arg(id->meldingId));
            } else {
                ++stored;
                ++m_reportsStored;
                Q_EMIT logLine(QStringLiteral("melding %1 van melder %2 opgeslagen uit \"%3\"")
                                   .arg(id->meldingId)
                                   .arg(parsed.report.melderAlias, parsed.subject));
            }
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
