// The installer's chain tests: one short message to one recipient, sent now
// through the real services, with the outcome in the modem's or the mail
// server's own words.
#include "Console.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "SqlValues.h"

#include <QEventLoop>

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

Result<QString> Console::describeTestReport(qint64 meldingId)
{
    auto report = m_conn.query(QStringLiteral("SELECT seen, bemand FROM meldingen WHERE id = ?"),
                               {sql::keyValue(meldingId)});
    if (!report)
        return Result<QString>::failure(report.error());
    if (!report->next())
        return Result<QString>::failure(QStringLiteral("melding %1 niet gevonden").arg(meldingId));
    const bool seen = sql::toBool(report->value(0));
    const bool manned = sql::toBool(report->value(1));
    if (!seen)
        return QStringLiteral("Testmelding %1 is opgeslagen, maar nog niet opgenomen; zie het logboek.").arg(meldingId);

    // Every recipient's dispatch of the report's lines, with its state now:
    // the first delivery pass has already run when this is asked.
    auto dispatches = m_conn.query(
        // A dispatch may pause on several stations at once: one reason is enough here.
        QStringLiteral("SELECT DISTINCT uitmeld.id, ontvangers.naam, uitmeld.done, uitmeld.uitmeldtype, "
                       "(SELECT MAX(reason) FROM uitmeldretry WHERE uitmeldretry.uitmeld_id = uitmeld.id) "
                       "FROM uitmeldlink "
                       "INNER JOIN meldindex ON meldindex.id = uitmeldlink.meldindex_id "
                       "INNER JOIN uitmeld ON uitmeld.id = uitmeldlink.uitmeld_id "
                       "LEFT JOIN ontvangers ON ontvangers.id = uitmeld.ontvanger_id "
                       "WHERE meldindex.melding_id = ? AND uitmeld.ontvanger_id <> 0 ORDER BY uitmeld.id"),
        {sql::keyValue(meldingId)});
    if (!dispatches)
        return Result<QString>::failure(dispatches.error());
    QStringList lines;
    while (dispatches->next()) {
        const QString naam = sql::toText(dispatches->value(1));
        const bool done = sql::toBool(dispatches->value(2));
        const qint64 type = sql::toLong(dispatches->value(3));
        const QString retry = sql::toText(dispatches->value(4));
        QString state;
        if (done)
            state = type == 2 ? QStringLiteral("per e-mail verzonden") : QStringLiteral("per SMS verzonden");
        else if (!retry.isEmpty())
            state = QStringLiteral("nog niet verzonden: %1").arg(retry);
        else
            state = QStringLiteral("wacht op verzending");
        lines << QStringLiteral("- %1: %2").arg(naam.isEmpty() ? QStringLiteral("(onbekende ontvanger)") : naam, state);
    }

    QString text = QStringLiteral("Testmelding %1 is opgeslagen en opgenomen.\n").arg(meldingId);
    if (!lines.isEmpty())
        return text + QStringLiteral("Uitgemeld aan:\n") + lines.join(QLatin1Char('\n')) +
               QStringLiteral("\nDe verdere verzending staat in het logboek en bij de openstaande uitmeldingen.");
    if (manned)
        return text + QStringLiteral("Er is niets uitgemeld: de meldkamer is bemand. Meldingen worden alleen "
                                     "uitgemeld als de meldkamer onbemand is.");
    return text + QStringLiteral("Er is niets uitgemeld: niemand heeft dienst voor de melder \"Taviro Test Melder\". "
                                 "Geef deze melder bij Melders een week- of jaarrooster met ontvangers en "
                                 "zet Uitmelden aan.");
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
    const Result<int> addressCount = m_mail.startTestSend(mail, kMailSecondsPerAddress);
    if (!addressCount)
        return outcome(addressCount.error());
    if (!done) {
        m_mailTestWait = &wait;
        limit.start(std::max(1, *addressCount) * kMailSecondsPerAddress * 1000 + kMailWaitMarginMsecs);
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
