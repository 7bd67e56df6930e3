// TaviroMes6: the MES-6 receiver. Each line the unit sends is one alarm,
// stored as a report of its transmitter and acknowledged with ACK (0x06), or
// refused with NAK (0x15) so the unit sends it again.

#include "DatabaseConnector.h"
#include "Mes6Line.h"
#include "PortService.h"
#include "PortWorker.h"
#include "SchemaExtensions.h"
#include "ServiceHost.h"
#include "SqlReportStore.h"

#include <QCoreApplication>
#include <QCryptographicHash>
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
        // The unit repeats a line whose ACK it missed, with the same sequence
        // digit, and only its latest one. What was stored is kept in the
        // database with the report, so a repeat after "Herinitialiseer
        // poorten", a restart or a crash right after the commit is known too.
        const QString alias = line.report.melderAlias;
        const QString family = QStringLiteral("mes6 %1 ").arg(QString::fromLatin1(alias.toUtf8().toPercentEncoding()));
        const QString key = family
            + QString::fromLatin1(QCryptographicHash::hash(raw.trimmed(), QCryptographicHash::Sha1).toHex());
        auto conn = DatabaseConnector::open(m_database);
        if (conn && !m_keysReady)
            m_keysReady = bool(schema::ensureExtensions(**conn));
        auto stored = conn ? SqlReportStore(**conn).storeOnce(line.report, key, family)
                           : Result<SqlReportStore::Stored>::failure(conn.error());
        if (!stored) {
            Q_EMIT meldingMessage(QStringLiteral("MES6-melding van melder %1 niet opgeslagen: %2").arg(alias, stored.error()), 0);
            port.write("\x15");
            return;
        }
        if (stored->repeat) {
            Q_EMIT logLine(QStringLiteral("regel van melder %1 herhaald; al opgeslagen als melding %2")
                               .arg(alias)
                               .arg(stored->meldingId));
        } else {
            ++m_stored;
            Q_EMIT meldingReady();
        }
        port.write("\x06");
    }

private:
    DatabaseSettings m_database;
    bool m_keysReady = false;
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
    return modem::servePortWorker(app, host, worker, 1200, [&worker] {
        return QJsonObject{{QStringLiteral("stored"), worker.stored()}, {QStringLiteral("portOpen"), worker.portOpen()}};
    });
}
