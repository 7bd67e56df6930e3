// TaviroSmsService: sends the console's SMS through the GSM modem of the
// sending port and turns a recipient's "OK" reply into an acknowledgement.

#include "DatabaseConnector.h"
#include "E164.h"
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
    timing.checkMs = envMillis("TAVIRO_SMS_CHECK_MS", timing.checkMs);
    timing.partsWaitMs = envMillis("TAVIRO_SMS_PARTS_WAIT_MS", timing.partsWaitMs);
    sms::SmsWorker worker(database, timing);
    worker.setCountryCode(sms::installationCountryCode());
    QObject::connect(&worker, &sms::SmsWorker::transmissionOver, &host, [&host] { host.meldingReady(); });
    QObject::connect(&worker, &sms::SmsWorker::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&worker, &sms::SmsWorker::logLine, &host, [&host](const QString& text) { host.log(text); });
    QObject::connect(&worker, &sms::SmsWorker::repliesRead, &host,
                     [&host] { host.notify(QStringLiteral("RepliesRead"), {}); });
    QObject::connect(&worker, &sms::SmsWorker::modemState, &host, [&host](int com, const QString& text, bool ready) {
        host.notify(QStringLiteral("ModemState"), QJsonObject{{QStringLiteral("port"), com},
                                                              {QStringLiteral("text"), text},
                                                              {QStringLiteral("ready"), ready}});
    });

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
    host.registerMethod(QStringLiteral("lastSendFailure"), [&](const QJsonObject&) { return RpcReply(worker.lastFailure()); });
    host.registerMethod(QStringLiteral("finish"), [&](const QJsonObject&) {
        worker.finish();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("watch"), [&](const QJsonObject& params) {
        const int port = params.value(QStringLiteral("port")).toInt(0);
        if (port <= 0 || !params.value(QStringLiteral("isGsm")).toBool(true)) {
            worker.watch(std::nullopt, false);
            return RpcReply(true);
        }
        ParamReader p(params);
        sms::Transmission line;
        line.line = modem::readLineSettings(p, 9600);
        line.initString = p.text(QStringLiteral("initString"), false);
        const bool shared = params.value(QStringLiteral("shared")).toBool(false);
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        worker.watch(line, shared);
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("poll"), [&](const QJsonObject& params) {
        worker.pollNow(params.value(QStringLiteral("report")).toBool(false));
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
