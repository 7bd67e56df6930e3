// TaviroMes6: the MES-6 receiver. Each line the unit sends is one alarm,
// stored as a report of its transmitter and acknowledged with ACK (0x06), or
// refused with NAK (0x15) so the unit sends it again.

#include "DatabaseConnector.h"
#include "Mes6Line.h"
#include "LineParams.h"
#include "ParamReader.h"
#include "PortWorker.h"
#include "ServiceHost.h"
#include "SqlReportStore.h"

#include <QCoreApplication>
#include <QHash>
#include <QJsonObject>

using namespace taviro;
using namespace taviro::service;

namespace {

class Mes6Worker : public modem::PortWorker
{
public:
    explicit Mes6Worker(DatabaseSettings database) : m_database(std::move(database)) {}
    int stored() const { return m_stored; }

protected:
    void lineReceived(modem::ModemPort& port, const QByteArray& raw) override
    {
        const mes6::Mes6Line line = mes6::parseMes6Line(raw, QDateTime::currentDateTime());
        if (!line.ok) {
            Q_EMIT logLine(QStringLiteral("regel geweigerd (%1): %2").arg(line.problem, QString::fromLatin1(raw.toPercentEncoding(" ,*;"))));
            port.write("\x15");
            return;
        }
        // The unit repeats a line whose ACK it missed, with the same sequence digit.
        const QString alias = line.report.melderAlias;
        const QByteArray fingerprint = QByteArray::number(line.sequence) + raw.trimmed();
        if (m_last.value(alias) == fingerprint) {
            port.write("\x06");
            return;
        }
        auto conn = DatabaseConnector::open(m_database);
        Result<qint64> id = conn ? SqlReportStore(**conn).store(line.report) : Result<qint64>::failure(conn.error());
        if (!id) {
            Q_EMIT meldingMessage(QStringLiteral("MES6-melding van melder %1 niet opgeslagen: %2").arg(alias, id.error()), 0);
            port.write("\x15");
            return;
        }
        m_last.insert(alias, fingerprint);
        ++m_stored;
        port.write("\x06");
        Q_EMIT meldingReady();
    }

private:
    DatabaseSettings m_database;
    QHash<QString, QByteArray> m_last;
    std::atomic_int m_stored = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ServiceHost host(QStringLiteral("TaviroMes6"));
    const DatabaseSettings database = host.databaseSettings();
    if (auto probe = DatabaseConnector::open(database); !probe)
        host.fatal(probe.error());

    Mes6Worker worker(database);
    QObject::connect(&worker, &modem::PortWorker::meldingReady, &host, [&host] { host.meldingReady(); });
    QObject::connect(&worker, &modem::PortWorker::meldingMessage, &host,
                     [&host](const QString& text, int level) { host.meldingMessage(text, level); });
    QObject::connect(&worker, &modem::PortWorker::logLine, &host, [&host](const QString& text) { host.log(text); });

    host.registerMethod(QStringLiteral("start"), [&](const QJsonObject& params) {
        ParamReader p(params);
        const modem::LineSettings line = modem::readLineSettings(p, 1200);
        if (!p.ok())
            return RpcReply::invalidParams(p.problems());
        QString problem;
        if (!worker.openPort(line, &problem))
            return RpcReply::failure(problem);
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("stop"), [&](const QJsonObject&) {
        worker.closePort();
        return RpcReply(true);
    });
    host.registerMethod(QStringLiteral("status"), [&](const QJsonObject&) {
        return RpcReply(QJsonObject{{QStringLiteral("stored"), worker.stored()}, {QStringLiteral("portOpen"), worker.portOpen()}});
    });
    QObject::connect(&host, &ServiceHost::shutdownRequested, &app, [&app] { app.quit(); });

    worker.start();
    host.start();
    const int rc = app.exec();
    worker.shutdown();
    worker.wait();
    return rc;
}
