// TaviroSmsService: sends the console's SMS through the GSM modem of the
// sending port and turns a recipient's "OK" reply into an acknowledgement.

#include "DatabaseConnector.h"
#include "LineParams.h"
#include "ParamReader.h"
#include "ServiceHost.h"
#include "SmsWorker.h"

#include <QCoreApplication>
#include <QJsonObject>

using namespace taviro;
using namespace taviro::service;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceHost host(QStringLiteral("TaviroSmsService"));
    const DatabaseSettings database = host.databaseSettings();
    // Replies cannot be matched to dispatches without the database.
    if (auto probe = DatabaseConnector::open(database); !probe)
        host.fatal(probe.error());

    sms::Timing timing;
    timing.commandMs = envMillis("TAVIRO_SMS_COMMAND_MS", timing.commandMs);
    timing.submitMs = envMillis("TAVIRO_SMS_SUBMIT_MS", timing.submitMs);
    timing.pollMs = envMillis("TAVIRO_SMS_POLL_MS", timing.pollMs);
    sms::SmsWorker worker(database, timing);
    QObject::connect(&worker, &sms::SmsWorker::transmissionOver, &host, [&host] { host.meldingReady(); });
    QObject::connect(&worker, &sms::SmsWorker::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&worker, &sms::SmsWorker::logLine, &host, [&host](const QString& text) { host.log(text); });

    host.registerMethod(QStringLiteral("send"), [&](const QJsonObject& params) {
        ParamReader p(params);
        sms::Transmission t;
        t.line = modem::readLineSettings(p, 9600);
        t.initString = p.text(QStringLiteral("initString"), false);
        t.isGsm = params.value(QStringLiteral("isGsm")).toBool(true);
        t.recipientName = p.text(QStringLiteral("recipientName"), false);
        t.mobileNumber = p.text(QStringLiteral("mobileNumber"));
        p.text(QStringLiteral("sender"), false); // the network shows the SIM's own number
        t.text = p.text(QStringLiteral("text"));
        t.smsCentre = p.text(QStringLiteral("smsCentre"), false);
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        if (!worker.submit(t))
            return RpcReply::failure(QStringLiteral("er loopt al een SMS-verzending"));
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("sendTimeout"), [&](const QJsonObject&) { return RpcReply(worker.timeoutMinutes()); });
    host.registerMethod(QStringLiteral("lastSendSucceeded"), [&](const QJsonObject&) { return RpcReply(worker.lastSucceeded()); });
    host.registerMethod(QStringLiteral("finish"), [&](const QJsonObject&) {
        worker.finish();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("poll"), [&](const QJsonObject&) {
        worker.pollNow();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("status"), [&](const QJsonObject&) {
        return RpcReply(QJsonObject{{QStringLiteral("sent"), worker.messagesSent()},
                                    {QStringLiteral("recoveries"), worker.recoveries()},
                                    {QStringLiteral("acknowledged"), worker.acknowledged()}});
    });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    worker.start();
    host.start();
    const int rc = app.exec();
    worker.shutdown();
    worker.wait();
    return rc;
}
