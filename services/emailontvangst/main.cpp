// TaviroAlarmEmailOntvangst: fetches alarm e-mails from the POP3 mailbox of
// the settings and stores each as a report for the console.

#include "DatabaseConnector.h"
#include "MailboxPoller.h"
#include "ParamReader.h"
#include "ServiceHost.h"

#include <QCoreApplication>
#include <QJsonObject>

#include <curl/curl.h>

using namespace taviro;
using namespace taviro::service;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceHost host(QStringLiteral("TaviroAlarmEmailOntvangst"));
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        host.fatal(QStringLiteral("libcurl kan niet worden gestart"));
    const DatabaseSettings database = host.databaseSettings();
    // Reports have nowhere to go without the database: fail so the console's
    // supervisor logs it and starts us again later.
    if (auto probe = DatabaseConnector::open(database); !probe)
        host.fatal(probe.error());

    alarmemail::MailboxPoller poller(database,
                                     alarmemail::PassedOverMails::fileFromEnvironment(database.text()));
    QObject::connect(&poller, &alarmemail::MailboxPoller::meldingReady, &host,
                     [&host] { host.meldingReady(); });
    QObject::connect(&poller, &alarmemail::MailboxPoller::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&poller, &alarmemail::MailboxPoller::logLine, &host,
                     [&host](const QString& text) { host.log(text); });
    int pollsDone = 0;
    QObject::connect(&poller, &alarmemail::MailboxPoller::pollFinished, &host,
                     [&pollsDone] { ++pollsDone; });

    host.registerMethod(QStringLiteral("start"), [&](const QJsonObject& params) {
        ParamReader p(params);
        alarmemail::MailboxAccount account;
        account.server = p.text(QStringLiteral("server"), false);
        account.port = int(p.number(QStringLiteral("port"), false, 110));
        account.userName = p.text(QStringLiteral("userName"), false);
        account.password = p.text(QStringLiteral("password"), false);
        account.timeoutSeconds = int(p.number(QStringLiteral("timeout"), false, 60));
        const int interval = int(p.number(QStringLiteral("interval"), false, 5));
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        // Most sites receive no alarms by e-mail and leave the server empty;
        // that is not worth a line on the operator's screen at every start.
        if (account.server.trimmed().isEmpty()) {
            host.log(QStringLiteral("geen mailbox ingesteld; er wordt niet gepolld"));
            poller.stopPolling();
            return RpcReply(true);
        }
        host.log(QStringLiteral("mailbox %1@%2:%3, elke %4 min")
                     .arg(account.userName, account.server)
                     .arg(account.port)
                     .arg(interval));
        poller.startPolling(account, interval);
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("stop"), [&](const QJsonObject&) {
        poller.stopPolling();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("poll"), [&](const QJsonObject&) {
        poller.pollNow();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("status"), [&](const QJsonObject&) {
        return RpcReply(QJsonObject{{QStringLiteral("polls"), pollsDone},
                                    {QStringLiteral("stored"), poller.reportsStored()}});
    });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    poller.start();
    host.start();
    const int rc = app.exec();
    poller.shutdown();
    poller.wait();
    curl_global_cleanup();
    return rc;
}
