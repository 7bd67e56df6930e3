// TaviroComm: the serial receiver of one receiving modem port. Answers the
// transmitters' calls and stores their reports for the console.

#include "CallAnswerer.h"
#include "DatabaseConnector.h"
#include "LineParams.h"
#include "ParamReader.h"
#include "ServiceHost.h"

#include <QCoreApplication>
#include <QJsonObject>

using namespace taviro;
using namespace taviro::service;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceHost host(QStringLiteral("TaviroComm"));
    const DatabaseSettings database = host.databaseSettings();
    if (auto probe = DatabaseConnector::open(database); !probe)
        host.fatal(probe.error());

    comm::ReceiverTiming timing;
    timing.commandMs = envMillis("TAVIRO_COMM_COMMAND_MS", timing.commandMs);
    timing.lineMs = envMillis("TAVIRO_COMM_LINE_MS", timing.lineMs);
    timing.guardMs = envMillis("TAVIRO_COMM_GUARD_MS", timing.guardMs);
    comm::CallAnswerer answerer(database, timing);
    QObject::connect(&answerer, &comm::CallAnswerer::meldingReady, &host, [&host] { host.meldingReady(); });
    QObject::connect(&answerer, &comm::CallAnswerer::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&answerer, &comm::CallAnswerer::logLine, &host, [&host](const QString& text) { host.log(text); });

    host.registerMethod(QStringLiteral("start"), [&](const QJsonObject& params) {
        ParamReader p(params);
        const modem::LineSettings line = modem::readLineSettings(p, 9600);
        const QString init = p.text(QStringLiteral("initString"), false);
        const int timeout = int(p.number(QStringLiteral("timeout"), false, 15));
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        QString problem;
        if (!answerer.startListening(line, init, timeout, &problem))
            return RpcReply::failure(problem);
        host.log(QStringLiteral("luistert op COM %1").arg(line.comNumber));
        return RpcReply(true);
    });
    // The SMS modem may share the port: let go within the console's call time-out.
    host.registerMethod(QStringLiteral("stopListening"), [&](const QJsonObject&) { return RpcReply(answerer.stopListening(45000)); });
    host.registerMethod(QStringLiteral("restartListening"), [&](const QJsonObject&) {
        QString problem;
        const bool ok = answerer.restartListening(&problem);
        if (!ok)
            host.log(QStringLiteral("poort niet teruggenomen: %1").arg(problem));
        return RpcReply(ok);
    });
    host.registerMethod(QStringLiteral("closeAll"), [&](const QJsonObject&) { return RpcReply(answerer.stopListening(45000)); });
    host.registerMethod(QStringLiteral("isIdle"), [&](const QJsonObject&) { return RpcReply(answerer.isIdle()); });
    host.registerMethod(QStringLiteral("portOpen"), [&](const QJsonObject&) { return RpcReply(answerer.portOpen()); });
    host.registerMethod(QStringLiteral("status"), [&](const QJsonObject&) {
        return RpcReply(QJsonObject{{QStringLiteral("stored"), answerer.reportsStored()},
                                    {QStringLiteral("portOpen"), answerer.portOpen()},
                                    {QStringLiteral("idle"), answerer.isIdle()}});
    });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    answerer.start();
    host.start();
    const int rc = app.exec();
    answerer.shutdown();
    answerer.wait();
    return rc;
}
