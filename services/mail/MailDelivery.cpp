#include "MailDelivery.h"

#include "DatabaseConnector.h"
#include "Repositories.h"

#include <QMutexLocker>

#include <algorithm>

namespace taviro::mail {

namespace {

int envSeconds(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

} // namespace

RetryPolicy RetryPolicy::fromEnvironment()
{
    RetryPolicy p;
    p.firstSeconds = envSeconds("TAVIRO_MAIL_RETRY_FIRST", p.firstSeconds);
    p.longestSeconds = envSeconds("TAVIRO_MAIL_RETRY_LONGEST", p.longestSeconds);
    p.giveUpSeconds = envSeconds("TAVIRO_MAIL_GIVE_UP", p.giveUpSeconds);
    return p;
}

int RetryPolicy::delayAfter(int failures) const
{
    qint64 delay = firstSeconds;
    for (int i = 1; i < failures && delay < longestSeconds; ++i)
        delay *= 2;
    return int(std::min<qint64>(delay, longestSeconds));
}

MailDelivery::MailDelivery(MailQueue& queue, DatabaseSettings database, RetryPolicy policy,
                           QObject* parent)
    : QThread(parent), m_queue(queue), m_database(std::move(database)), m_policy(policy),
      m_sender(m_stopping)
{
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
    while (!m_stopping) {
        const int sleepMs = deliverRound();
        QMutexLocker lock(&m_mutex);
        if (!m_woken && !m_stopping)
            m_wake.wait(&m_mutex, sleepMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                              : QDeadlineTimer(sleepMs));
        m_woken = false;
    }
}

Result<SmtpSettings> readSmtpSettings(const DatabaseSettings& database)
{
    auto connector = DatabaseConnector::open(database);
    if (!connector)
        return Result<SmtpSettings>::failure(connector.error());
    auto row = SettingsRepository(**connector).load();
    if (!row)
        return Result<SmtpSettings>::failure(row.error());
    if (!row->has_value())
        return Result<SmtpSettings>::failure(QStringLiteral("geen settings-rij"));
    const Settings& s = **row;
    return SmtpSettings{s.mailserver,   int(s.MailServerPort),   s.mailfromname,
                        s.mailfrommail, s.authentification != 0, s.mailusername,
                        s.mailpassword};
}

std::optional<SmtpSettings> MailDelivery::loadSettings()
{
    auto settings = readSmtpSettings(m_database);
    if (!settings) {
        if (!m_settingsProblemReported)
            Q_EMIT meldingMessage(QStringLiteral("Mailinstellingen niet leesbaar: ") + settings.error(), 0);
        m_settingsProblemReported = true;
        return std::nullopt;
    }
    m_settingsProblemReported = false;
    return *settings;
}

int MailDelivery::deliverRound()
{
    QDateTime now = QDateTime::currentDateTime();
    if (m_serverAwayUntil.isValid() && now < m_serverAwayUntil)
        return int(now.msecsTo(m_serverAwayUntil));
    m_serverAwayUntil = {};

    QStringList problems;
    QList<QueuedMail> mails = m_queue.load(&problems);
    for (const QString& p : problems)
        Q_EMIT meldingMessage(p, 0);
    if (mails.isEmpty())
        return -1;
    const std::optional<SmtpSettings> settings = loadSettings();
    if (!settings)
        return m_policy.firstSeconds * 1000;

    int sleepMs = -1;
    auto sleepUntil = [&](const QDateTime& moment) {
        const int ms = int(std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(moment)));
        sleepMs = sleepMs < 0 ? ms : std::min(sleepMs, ms);
    };
    for (QueuedMail& mail : mails) {
        if (m_stopping)
            break;
        now = QDateTime::currentDateTime();
        const RetryState state = m_retry.value(mail.file);
        if (state.next.isValid() && now < state.next) {
            sleepUntil(state.next);
            continue;
        }
        deliverOne(mail, *settings, now);
        if (m_retry.contains(mail.file))
            sleepUntil(m_retry.value(mail.file).next);
        if (m_serverAwayUntil.isValid())
            break; // the others would meet the same closed door
    }
    return sleepMs;
}

void MailDelivery::deliverOne(QueuedMail& mail, const SmtpSettings& settings, const QDateTime& now)
{
    RetryState& state = m_retry[mail.file];
    const QStringList addresses = mail.pending;
    for (const QString& address : addresses) {
        if (m_stopping)
            return;
        const Envelope envelope{address,   mail.recipientName,  mail.subject,
                                mail.body, mail.attachmentFile, mail.attachmentName};
        const SendOutcome outcome = m_sender.send(settings, envelope);
        if (outcome.kind == SendOutcome::Sent) {
            mail.pending.removeOne(address);
            Q_EMIT logLine(
                QStringLiteral("mail aan %1 verzonden (\"%2\")").arg(address, mail.subject));
            if (state.failures > 0)
                Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 alsnog verzonden").arg(address),
                                      1);
        } else if (outcome.kind == SendOutcome::Refused) {
            mail.pending.removeOne(address);
            mail.failed << address;
            Q_EMIT meldingMessage(
                QStringLiteral("Mail aan %1 (onderwerp \"%2\") geweigerd door de mailserver: %3")
                    .arg(address, mail.subject, outcome.reason),
                0);
        } else {
            ++state.failures;
            if (!mail.firstFailure.isValid()) {
                mail.firstFailure = now;
                Q_EMIT meldingMessage(QStringLiteral("Mail aan %1 nog niet verzonden (%2); de "
                                                     "mailserver wordt opnieuw geprobeerd")
                                          .arg(address, outcome.reason),
                                      1);
            }
            if (mail.firstFailure.secsTo(now) >= m_policy.giveUpSeconds) {
                const int bound = m_policy.giveUpSeconds;
                const QString during = bound >= 120 ? QStringLiteral("%1 minuten").arg(bound / 60)
                                                    : QStringLiteral("%1 seconden").arg(bound);
                Q_EMIT meldingMessage(
                    QStringLiteral(
                        "Mail aan %1 (onderwerp \"%2\") kon in %3 niet worden verzonden: %4")
                        .arg(mail.pending.join(QStringLiteral(", ")), mail.subject, during,
                             outcome.reason),
                    0);
                mail.failed << mail.pending;
                mail.pending.clear();
                break;
            }
            const int delay = m_policy.delayAfter(state.failures);
            state.next = now.addSecs(delay);
            if (outcome.serverWide)
                m_serverAwayUntil = state.next;
            Q_EMIT logLine(QStringLiteral("mail aan %1 mislukt (%2), poging %3, volgende over %4 s")
                               .arg(address, outcome.reason)
                               .arg(state.failures)
                               .arg(delay));
            m_queue.save(mail);
            return;
        }
        m_queue.save(mail); // an address served is never served twice after a crash
    }
    if (!mail.pending.isEmpty())
        return;
    if (mail.failed.isEmpty())
        m_queue.remove(mail);
    else
        Q_EMIT logLine(QStringLiteral("mail apart gezet: ") + m_queue.moveToFailed(mail));
    m_retry.remove(mail.file);
}

} // namespace taviro::mail
