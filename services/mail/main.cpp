// TaviroMailSender: takes mails from the console, keeps them on disk and hands
// them to the outgoing mail server of the settings row.

#include "DatabaseConnector.h"
#include "MailDelivery.h"
#include "MailQueue.h"
#include "MailTestSend.h"
#include "ParamReader.h"
#include "ServiceHost.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <curl/curl.h>

#include <algorithm>

using namespace taviro;
using namespace taviro::service;

namespace {

RpcReply enqueue(ServiceHost& host, mail::MailQueue& queue, mail::MailDelivery& delivery,
                 const QJsonObject& params, bool withAttachment)
{
    ParamReader p(params);
    const QString address = p.text(QStringLiteral("address"));
    const QString name = p.text(QStringLiteral("recipientName"), false);
    const QString subject = p.text(QStringLiteral("subject"), false);
    const QString body = p.text(QStringLiteral("body"), false);
    const QString attachment = p.text(QStringLiteral("attachmentPath"), withAttachment);
    if (!p.ok())
        return RpcReply::invalidParams(p.problems());

    const QStringList addresses = mail::splitAddresses(address);
    if (addresses.isEmpty()) {
        host.meldingMessage(QStringLiteral("Mail \"%1\" voor %2 niet verzonden: geen e-mailadres")
                                .arg(subject, name),
                            1);
        return RpcReply::failure(QStringLiteral("no address"));
    }
    const Result<QString> queued = queue.enqueue(addresses, name, subject, body, attachment);
    if (!queued) {
        host.meldingMessage(
            QStringLiteral("Mail \"%1\" niet verzonden: %2").arg(subject, queued.error()), 0);
        return RpcReply::failure(queued.error());
    }
    host.log(QStringLiteral("mail \"%1\" voor %2 in de wachtrij: %3")
                 .arg(subject, addresses.join(QStringLiteral(", ")), *queued));
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
    // Without the database there are no mail settings; failing loudly lets the
    // console's supervisor log it and try again later.
    if (auto probe = DatabaseConnector::open(database); !probe)
        host.fatal(probe.error());
    mail::MailQueue queue(mail::MailQueue::folderFromEnvironment(database.text()));
    if (Status s = queue.prepare(); !s)
        host.fatal(s.error());

    mail::MailDelivery delivery(queue, database, mail::RetryPolicy::fromEnvironment());
    QObject::connect(&delivery, &mail::MailDelivery::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&delivery, &mail::MailDelivery::logLine, &host,
                     [&host](const QString& text) { host.log(text); });

    host.registerMethod(QStringLiteral("send"), [&](const QJsonObject& params) {
        return enqueue(host, queue, delivery, params, false);
    });
    host.registerMethod(QStringLiteral("sendWithAttachment"), [&](const QJsonObject& params) {
        return enqueue(host, queue, delivery, params, true);
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
        const QStringList addresses = mail::splitAddresses(p.text(QStringLiteral("address")));
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
        return RpcReply(QJsonObject{{QStringLiteral("queued"), queue.count()},
                                    {QStringLiteral("queueFolder"), queue.folder()}});
    });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    host.log(
        QStringLiteral("mailwachtrij %1 (%2 wachtend)").arg(queue.folder()).arg(queue.count()));
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
