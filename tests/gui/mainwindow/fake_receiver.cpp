// A stand-in receiver service for the window tests: speaks the service
// protocol, and when started stores one report of transmitter 1002, point 11
// (as a real receiver would after a call) and raises MeldingReady.
#include "DatabaseConnector.h"
#include "ServiceHost.h"
#include "SqlReportStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

using namespace taviro;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    service::ServiceHost host(QStringLiteral("FakeReceiver"));
    host.registerMethod(QStringLiteral("start"), [&host](const QJsonObject&) {
        QTimer::singleShot(100, &host, [&host] {
            auto conn = DatabaseConnector::open(host.databaseSettings());
            if (!conn)
                host.fatal(conn.error());
            ReceivedReport report;
            report.melderAlias = QStringLiteral("1002");
            report.receivedAt = QDateTime::currentDateTime();
            ReceivedLine line;
            line.functie = QStringLiteral("11");
            line.date = report.receivedAt;
            report.lines.append(line);
            if (auto stored = SqlReportStore(**conn).store(report); !stored)
                host.fatal(stored.error());
            host.meldingMessage(QStringLiteral("Testmelding opgeslagen"), 1);
            host.meldingReady();
        });
        return service::RpcReply();
    });
    host.registerMethod(QStringLiteral("stop"), [](const QJsonObject&) { return service::RpcReply(); });
    host.start();
    return QCoreApplication::exec();
}
