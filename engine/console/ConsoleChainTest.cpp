// The installer's chain tests: one short message to one recipient, sent now
// through the real services, with the outcome in the modem's or the mail
// server's own words.
#include "Console.h"

#include "EventLog.h"

#include <QEventLoop>
#include <QRegularExpression>

#include <algorithm>

namespace taviro {

namespace {
// Each address gets this long to be taken or refused; the console waits for
// all of them and a little more for the service to say so.
constexpr int kMailSecondsPerAddress = 20;
constexpr int kMailWaitMarginMsecs = 10000;

QString shownRecipient(const QString& naam)
{
    return naam.trimmed().isEmpty() ? QStringLiteral("de ontvanger") : naam.trimmed();
}

QString testSmsText(const QString& naam)
{
    // Says plainly that no alarm is behind it, so nobody on duty turns out for it.
    return QStringLiteral("Taviro test-SMS voor %1. Dit is geen alarm; u hoeft niets te doen.")
        .arg(shownRecipient(naam));
}
} // namespace

Status Console::sendTestSms(const QString& mobielnr, const QString& naam)
{
    const QString who = QStringLiteral("%1 (%2)").arg(naam, mobielnr);
    auto outcome = [&](const QString& why) {
        m_log.writeLog(QStringLiteral("Test-SMS aan %1 niet verzonden: %2").arg(who, why), 1);
        return Status::failure(why);
    };
    if (mobielnr.trimmed().isEmpty())
        return Status::failure(QStringLiteral("er is geen mobiel nummer ingevuld"));
    if (m_smsTemplate.line.number <= 0)
        return outcome(QStringLiteral("er is geen COM-poort ingesteld voor het verzenden van SMS"));
    QString why;
    // A false result without a reason means sent, but the receiver on a
    // shared port did not take it back: that is logged on its own and does
    // not make the modem's test fail.
    if (!transmitSms(mobielnr.trimmed(), naam, testSmsText(naam), &why) && !why.isEmpty())
        return outcome(why);
    m_log.writeLog(QStringLiteral("Test-SMS aan %1 verzonden.").arg(who), 1);
    return Status();
}

Status Console::sendTestMail(const QString& addresses, const QString& naam)
{
    auto outcome = [&](const QString& why) {
        m_log.writeLog(QStringLiteral("Test-e-mail aan %1 niet verzonden: %2").arg(addresses, why), 1);
        return Status::failure(why);
    };
    if (addresses.trimmed().isEmpty())
        return Status::failure(QStringLiteral("er is geen e-mailadres ingevuld"));
    if (m_shuttingDown)
        return Status::failure(QStringLiteral("Taviro wordt afgesloten"));
    if (m_mailTestWait)
        return Status::failure(QStringLiteral("er loopt al een test-e-mail; probeer het over een ogenblik opnieuw"));

    MailMessage mail;
    mail.address = addresses;
    mail.recipientName = naam;
    mail.subject = QStringLiteral("Taviro test-e-mail");
    mail.body = QStringLiteral("Dit is een test-e-mail van Taviro voor %1.\r\n"
                               "Dit is geen alarm; u hoeft niets te doen.\r\n")
                    .arg(shownRecipient(naam));
    const int addressCount = int(addresses.split(QRegularExpression(QStringLiteral("[;,\\s]+")), Qt::SkipEmptyParts).size());

    bool done = false;
    bool sent = false;
    QString reason;
    QEventLoop wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&m_mail, &MailSender::testSendDone, &wait, [&](bool ok, const QString& why) {
        done = true;
        sent = ok;
        reason = why;
        wait.quit();
    });
    connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    QString problem;
    if (!m_mail.startTestSend(mail, kMailSecondsPerAddress, &problem))
        return outcome(problem);
    if (!done) {
        m_mailTestWait = &wait;
        limit.start(std::max(1, addressCount) * kMailSecondsPerAddress * 1000 + kMailWaitMarginMsecs);
        wait.exec();
        m_mailTestWait = nullptr;
    }
    if (!done)
        return outcome(m_shuttingDown ? QStringLiteral("Taviro wordt afgesloten")
                                      : QStringLiteral("de mailverzending gaf geen antwoord"));
    if (!sent)
        return outcome(reason.isEmpty() ? QStringLiteral("de mailverzending gaf geen reden") : reason);
    m_log.writeLog(QStringLiteral("Test-e-mail aan %1 verzonden.").arg(addresses), 1);
    return Status();
}

} // namespace taviro
