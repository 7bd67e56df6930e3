// TaviroMailSender: sends the mails the room queued in the database's outbox
// (and those handed to it through `send`) to the outgoing mail server of the
// settings row.

#include "DatabaseConnector.h"
#include "LegacyQueueImport.h"
#include "MailDelivery.h"
#include "MailOutbox.h"
#include "MailTestSend.h"
#include "ParamReader.h"
#include "ServiceHost.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>

#include <curl/curl.h>

#include <algorithm>

using namespace taviro;
using namespace taviro::service;

namespace {

// A mail another program hands over: into the outbox like the engine's own,
// under a key of its own since nothing else names it.
RpcReply enqueue(ServiceHost& host, const DatabaseConnector& conn, mail::MailDelivery& delivery,
                 const QJsonObject& params, bool withAttachment)
{
    ParamReader p(params);
    outbox::OutgoingMail mail;
    mail.address = p.text(QStringLiteral("address"));
    mail.recipientName = p.text(QStringLiteral("recipientName"), false);
    mail.subject = p.text(QStringLiteral("subject"), false);
    mail.body = p.text(QStringLiteral("body"), false);
    const QString attachment = p.text(QStringLiteral("attachmentPath"), withAttachment);
    if (!p.ok())
        return RpcReply::invalidParams(p.problems());

    const QStringList addresses = outbox::splitAddresses(mail.address);
    if (addresses.isEmpty()) {
        host.meldingMessage(QStringLiteral("Mail \"%1\" voor %2 niet verzonden: geen e-mailadres")
                                .arg(mail.subject, mail.recipientName),
                            1);
        return RpcReply::failure(QStringLiteral("no address"));
    }
    if (withAttachment) {
        QFile f(attachment);
        if (!f.open(QIODevice::ReadOnly))
            return RpcReply::failure(QStringLiteral("Bijlage %1 kan niet worden gelezen").arg(attachment));
        mail.attachment = f.readAll();
        mail.attachmentName = QFileInfo(attachment).fileName();
    }
    mail.key = QStringLiteral("dienst ") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (conn.lost())
        (void)conn.restore();
    Transaction tx(conn);
    Status s = tx.begin();
    if (s)
        s = Status::from(outbox::queueMail(conn, mail));
    if (s)
        s = tx.commit();
    if (!s) {
        host.meldingMessage(QStringLiteral("Mail \"%1\" niet verzonden: %2").arg(mail.subject, s.error()), 0);
        return RpcReply::failure(s.error());
    }
    host.log(QStringLiteral("mail \"%1\" voor %2 in de wachtrij").arg(mail.subject, addresses.join(QStringLiteral(", "))));
    delivery.wake();
    return RpcReply(true);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceHost host(QStringLiteral("TaviroMailSender"));
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        host.fatal(QStringLiteral("libcurl kan niet worden gestart"));

    const DatabaseSettings database = host.databaseSettings();
    // Without the database there is neither an outbox nor mail settings;
    // failing loudly lets the console's supervisor log it and try again later.
    auto opened = DatabaseConnector::open(database);
    if (!opened)
        host.fatal(opened.error());
    const DatabaseConnector& conn = **opened;
    // Mails an older sender of this account left on disk join the outbox once.
    const QString oldFolder = mail::legacyQueueFolder(database.text());
    QStringList problems;
    auto imported = mail::importLegacyQueue(oldFolder, conn, &problems);
    for (const QString& p : problems)
        host.meldingMessage(p, 0);
    if (!imported)
        host.meldingMessage(QStringLiteral("Oude mailwachtrij %1 niet overgenomen: %2").arg(oldFolder, imported.error()), 0);
    else if (*imported > 0)
        host.meldingMessage(QStringLiteral("%1 mail(s) uit de oude mailwachtrij %2 overgenomen").arg(*imported).arg(oldFolder), 1);

    mail::MailDelivery delivery(database, mail::RetryPolicy::fromEnvironment(), QSysInfo::machineHostName());
    QObject::connect(&delivery, &mail::MailDelivery::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&delivery, &mail::MailDelivery::logLine, &host,
                     [&host](const QString& text) { host.log(text); });

    host.registerMethod(QStringLiteral("send"), [&](const QJsonObject& params) {
        return enqueue(host, conn, delivery, params, false);
    });
    host.registerMethod(QStringLiteral("sendWithAttachment"), [&](const QJsonObject& params) {
        return enqueue(host, conn, delivery, params, true);
    });
    host.registerMethod(QStringLiteral("wake"), [&](const QJsonObject&) {
        delivery.wake();
        return RpcReply(true);
    });
    // The installer's test mail: answered at once, its outcome follows as
    // TestSendDone, so the console is never held up by a slow server.
    mail::MailTestSend testSend(database);
    QObject::connect(&testSend, &mail::MailTestSend::finished, &host, [&host](bool sent, const QString& reason) {
        host.meldingMessage(sent ? QStringLiteral("Test-e-mail verzonden")
                                 : QStringLiteral("Test-e-mail niet verzonden: %1").arg(reason),
                            1);
        host.notify(QStringLiteral("TestSendDone"),
                    QJsonObject{{QStringLiteral("sent"), sent}, {QStringLiteral("reason"), reason}});
    });
    host.registerMethod(QStringLiteral("testSend"), [&](const QJsonObject& params) {
        ParamReader p(params);
        const QStringList addresses = outbox::splitAddresses(p.text(QStringLiteral("address")));
        const QString name = p.text(QStringLiteral("recipientName"), false);
        const QString subject = p.text(QStringLiteral("subject"), false);
        const QString body = p.text(QStringLiteral("body"), false);
        const int seconds = params.value(QStringLiteral("secondsPerAddress")).toInt(20);
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        if (addresses.isEmpty())
            return RpcReply::failure(QStringLiteral("geen e-mailadres"));
        if (!testSend.begin(addresses, name, subject, body, std::clamp(seconds, 1, 120)))
            return RpcReply::failure(QStringLiteral("er loopt al een test-e-mail"));
        return RpcReply(int(addresses.size()));
    });
    host.registerMethod(QStringLiteral("status"), [&](const QJsonObject&) {
        auto waiting = conn.scalar(QStringLiteral("SELECT COUNT(*) FROM mailwachtrij WHERE status = 0"));
        auto failed = conn.scalar(QStringLiteral("SELECT COUNT(*) FROM mailwachtrij WHERE status = 2"));
        if (!waiting || !failed)
            return RpcReply::failure(waiting ? failed.error() : waiting.error());
        return RpcReply(QJsonObject{{QStringLiteral("queued"), sql::toLong(*waiting)},
                                    {QStringLiteral("failed"), sql::toLong(*failed)}});
    });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    delivery.start();
    host.start();
    const int rc = app.exec();
    testSend.stop();
    testSend.wait();
    delivery.stop();
    delivery.wait();
    curl_global_cleanup();
    return rc;
}
