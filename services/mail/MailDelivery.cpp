#include "MailDelivery.h"

#include "DatabaseConnector.h"
#include "Repositories.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryDir>

#include <algorithm>

namespace taviro::mail {

namespace {

int envSeconds(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// How often the outbox is looked at when nothing woke the sender: a mail
// another workstation queued goes out within this.
constexpr int kLookMsecs = 1000;
// Sent and failed mails stay this long, so the screens can say what became of them.
constexpr int kKeepDays = 30;

// Whether the process under `pid` on this machine is a mail sender like this
// one: a claim left by one that is gone is taken back at once. The name is
// read from `comm`, which other accounts may read too (a console's sender
// runs as the operator, a station's as its own user); where even that is
// hidden, the process counts as alive and its lease decides.
bool senderAlive(qint64 pid)
{
    if (pid <= 0 || !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)))
        return false;
    auto comm = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    };
    const QByteArray other = comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return other.isEmpty() || other == comm(QStringLiteral("/proc/self/comm"));
}

} // namespace

RetryPolicy RetryPolicy::fromEnvironment()
{
    RetryPolicy p;
    p.firstSeconds = envSeconds("TAVIRO_MAIL_RETRY_FIRST", p.firstSeconds);
    p.longestSeconds = envSeconds("TAVIRO_MAIL_RETRY_LONGEST", p.longestSeconds);
    p.giveUpSeconds = envSeconds("TAVIRO_MAIL_GIVE_UP", p.giveUpSeconds);
    p.leaseSeconds = envSeconds("TAVIRO_MAIL_LEASE", p.leaseSeconds);
    return p;
}

int RetryPolicy::delayAfter(int failures) const
{
    qint64 delay = firstSeconds;
    for (int i = 1; i < failures && delay < longestSeconds; ++i)
        delay *= 2;
    return int(std::min<qint64>(delay, longestSeconds));
}

MailDelivery::MailDelivery(DatabaseSettings database, RetryPolicy policy, QString host, QObject* parent)
    : QThread(parent), m_database(std::move(database)), m_policy(policy), m_host(std::move(host)),
      m_sender(m_stopping)
{
    m_sender.setTimeLimit(m_policy.sendLimitSeconds());
}

MailDelivery::~MailDelivery()
{
    stop();
    wait();
}

void MailDelivery::wake()
{
    QMutexLocker lock(&m_mutex);
    m_woken = true;
    m_wake.wakeAll();
}

void MailDelivery::stop()
{
    m_stopping = true;
    wake();
}

void MailDelivery::run()
{
    // The connection belongs to this thread.
    std::unique_ptr<DatabaseConnector> conn;
    std::unique_ptr<outbox::OutboxClaims> claims;
    bool leftoversReleased = false;
    while (!m_stopping) {
        int sleepMs = kLookMsecs;
        if (!conn) {
            auto opened = DatabaseConnector::open(m_database);
            if (opened) {
                conn = std::move(*opened);
                claims = std::make_unique<outbox::OutboxClaims>(
                    *conn, outbox::OutboxClaims::ownerName(m_host, QCoreApplication::applicationPid()),
                    m_policy.leaseSeconds);
            } else {
                noteDatabaseProblem(opened.error());
                sleepMs = 5000;
            }
        } else if (conn->lost() && !conn->restore()) {
            sleepMs = 5000;
        }
        if (conn && !conn->lost()) {
            if (!leftoversReleased) {
                // Nothing can be in flight in a sender that has just started:
                // what an earlier one on this machine held is free again.
                auto released = claims->releaseLeftovers(m_host, senderAlive);
                leftoversReleased = bool(released);
                if (released && *released > 0)
                    Q_EMIT logLine(QStringLiteral("%1 mail(s) van een gestopte mailverzender vrijgegeven").arg(*released));
            }
            sleepMs = deliverRound(*conn, *claims);
        }
        QMutexLocker lock(&m_mutex);
        if (!m_woken && !m_stopping)
            m_wake.wait(&m_mutex, QDeadlineTimer(sleepMs));
        m_woken = false;
    }
}

Result<SmtpSettings> readSmtpSettings(const DatabaseConnector& conn)
{
    auto row = SettingsRepository(conn).load();
    if (!row)
        return Result<SmtpSettings>::failure(row.error());
    if (!row->has_value())
        return Result<SmtpSettings>::failure(QStringLiteral("geen settings-rij"));
    const Settings& s = **row;
    return SmtpSettings{s.mailserver,   int(s.MailServerPort),   s.mailfromname,
                        s.mailfrommail, s.authentification != 0, s.mailusername,
                        s.mailpassword};
}

Result<SmtpSettings> readSmtpSettings(const DatabaseSettings& database)
{
    auto connector = DatabaseConnector::open(database);
    if (!connector)
        return Result<SmtpSettings>::failure(connector.error());
    return readSmtpSettings(**connector);
}

void MailDelivery::noteDatabaseProblem(const QString& error)
{
    // Once per outage; the mails wait in the database meanwhile.
    if (!m_databaseProblemReported)
        Q_EMIT meldingMessage(QStringLiteral("Mailwachtrij niet leesbaar: ") + error, 1);
    m_databaseProblemReported = true;
}

int MailDelivery::deliverRound(const DatabaseConnector& conn, outbox::OutboxClaims& claims)
{
    const QDateTime now = QDateTime::currentDateTime();
    if (m_serverAwayUntil.isValid() && now < m_serverAwayUntil)
        return int(std::min<qint64>(now.msecsTo(m_serverAwayUntil), kLookMsecs * 10));
    m_serverAwayUntil = {};
    if (!m_sincePurge.isValid() || m_sincePurge.hasExpired(3600 * 1000)) {
        if (claims.purgeFinished(kKeepDays))
            m_sincePurge.start();
    }

    auto due = claims.secondsUntilDue();
    if (!due) {
        noteDatabaseProblem(due.error());
        return 5000;
    }
    m_databaseProblemReported = false;
    if (!due->has_value() || **due > 0)
        return due->has_value() ? int(std::min<qint64>(**due * 1000, kLookMsecs)) : kLookMsecs;

    auto settings = readSmtpSettings(conn);
    if (!settings) {
        if (!m_settingsProblemReported)
            Q_EMIT meldingMessage(QStringLiteral("Mailinstellingen niet leesbaar: ") + settings.error(), 0);
        m_settingsProblemReported = true;
        return m_policy.firstSeconds * 1000;
    }
    m_settingsProblemReported = false;

    while (!m_stopping && !m_serverAwayUntil.isValid()) {
        auto next = claims.claimNext();
        if (!next) {
            noteDatabaseProblem(next.error());
            return 5000;
        }
        if (!next->has_value())
            break;
        deliverOne(claims, **next, *settings);
    }
    return m_serverAwayUntil.isValid() ? int(QDateTime::currentDateTime().msecsTo(m_serverAwayUntil)) : 0;
}

void MailDelivery::noteLostClaim(const Result<bool>& held, const outbox::OutboxRow& row)
{
    if (!held)
        Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 (onderwerp \"%2\"): uitkomst niet vastgelegd: %3")
                                  .arg(row.address, row.subject, held.error()),
                              1);
    else if (!*held)
        Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 (onderwerp \"%2\") duurde langer dan de claim; een andere "
                                             "mailverzender kan hem ook verstuurd hebben")
                                  .arg(row.address, row.subject),
                              1);
}

void MailDelivery::deliverOne(outbox::OutboxClaims& claims, const outbox::OutboxClaims::Claimed& claimed,
                              const SmtpSettings& settings)
{
    const outbox::OutboxRow& row = claimed.row;
    Envelope envelope{row.address, row.recipientName, row.subject, row.body, {}, row.attachmentName};
    // libcurl reads an attachment from a file; the outbox keeps its bytes.
    QTemporaryDir attachmentDir;
    if (!row.attachmentName.isEmpty()) {
        envelope.attachmentFile = attachmentDir.filePath(QStringLiteral("bijlage"));
        QFile f(envelope.attachmentFile);
        if (!f.open(QIODevice::WriteOnly) || f.write(row.attachment) != row.attachment.size())
            envelope.attachmentFile.clear();
    }
    const SendOutcome outcome = m_sender.send(settings, envelope);
    const qint64 now = claimed.serverNow;
    if (outcome.kind == SendOutcome::Sent) {
        noteLostClaim(claims.markSent(row.id), row);
        Q_EMIT logLine(QStringLiteral("mail aan %1 verzonden (\"%2\")").arg(row.address, row.subject));
        if (row.failures > 0)
            Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 alsnog verzonden").arg(row.address), 1);
        return;
    }
    if (outcome.kind == SendOutcome::Refused) {
        noteLostClaim(claims.markFailed(row.id, outcome.reason), row);
        Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 (onderwerp \"%2\") geweigerd door de mailserver: %3")
                                  .arg(row.address, row.subject, outcome.reason),
                              0);
        return;
    }
    if (row.firstFailure == 0)
        Q_EMIT meldingMessage(
            QStringLiteral("Mail aan %1 nog niet verzonden (%2); de mailserver wordt opnieuw geprobeerd")
                .arg(row.address, outcome.reason),
            1);
    const qint64 firstFailure = row.firstFailure == 0 ? now : row.firstFailure;
    if (now - firstFailure >= m_policy.giveUpSeconds) {
        const int bound = m_policy.giveUpSeconds;
        const QString during =
            bound >= 120 ? QStringLiteral("%1 minuten").arg(bound / 60) : QStringLiteral("%1 seconden").arg(bound);
        noteLostClaim(claims.markFailed(row.id, outcome.reason), row);
        Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 (onderwerp \"%2\") kon in %3 niet worden verzonden: %4")
                                  .arg(row.address, row.subject, during, outcome.reason),
                              0);
        return;
    }
    const int failures = int(row.failures) + 1;
    const int delay = m_policy.delayAfter(failures);
    noteLostClaim(claims.postpone(row.id, outcome.reason, firstFailure, delay), row);
    if (outcome.serverWide)
        m_serverAwayUntil = QDateTime::currentDateTime().addSecs(delay);
    Q_EMIT logLine(QStringLiteral("mail aan %1 mislukt (%2), poging %3, volgende over %4 s")
                       .arg(row.address, outcome.reason)
                       .arg(failures)
                       .arg(delay));
}

} // namespace taviro::mail
