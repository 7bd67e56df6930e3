#include "PortService.h"

#include "LineParams.h"
#include "ParamReader.h"
#include "PortWorker.h"
#include "ServiceHost.h"

#include <QCoreApplication>

namespace taviro::modem {

using service::ParamReader;
using service::RpcReply;
using service::ServiceHost;

int servePortWorker(QCoreApplication& app, ServiceHost& host, PortWorker& worker, int defaultBaud,
                    std::function<QJsonObject()> status)
{
    QObject::connect(&worker, &PortWorker::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&worker, &PortWorker::logLine, &host, [&host](const QString& text) { host.log(text); });

    host.registerMethod(QStringLiteral("start"), [&worker, defaultBaud](const QJsonObject& params) {
        ParamReader p(params);
        const LineSettings line = readLineSettings(p, defaultBaud);
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        QString problem;
        if (!worker.openPort(line, &problem))
            return RpcReply::failure(problem);
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("stop"), [&worker](const QJsonObject&) {
        worker.closePort();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("status"), [status](const QJsonObject&) { return RpcReply(status()); });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    worker.start();
    host.start();
    const int rc = app.exec();
    worker.shutdown();
    worker.wait();
    return rc;
}

} // namespace taviro::modem
