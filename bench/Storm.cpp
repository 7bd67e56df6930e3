#include "BenchSetup.h"

#include "SqlReportStore.h"
#include "Transaction.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace taviro::bench {

namespace {

// Rows one report costs end to end with two people on duty: storing it (the
// report and three lines) and taking it in (seen, two dispatches, six links,
// three lines marked forwarded).
constexpr int kRowsPerReport = 4 + 1 + 2 + 6 + 3;

// The database's own pace: one durable transaction of kRowsPerReport inserts,
// `count` times, on the same file with the same synchronous setting.
bool rawTransactions(const DatabaseConnector& conn, int count)
{
    if (!conn.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS bench_raw (id INTEGER PRIMARY KEY, a INTEGER, b TEXT)")))
        return false;
    for (int i = 0; i < count; ++i) {
        Transaction tx(conn);
        if (!tx.begin())
            return false;
        for (int r = 0; r < kRowsPerReport; ++r)
            (void)conn.exec(QStringLiteral("INSERT INTO bench_raw (a, b) VALUES (?, ?)"),
                            {i, QStringLiteral("rij")});
        if (!tx.commit())
            return false;
    }
    return true;
}

} // namespace

int runStorm(int reports)
{
    QTextStream out(stdout);
    BenchSetup setup;
    if (!setup.error.isEmpty()) {
        out << "setup failed: " << setup.error << Qt::endl;
        return 1;
    }
    const QString sync = setup.conn->scalar(QStringLiteral("PRAGMA synchronous"))->toString();
    out << "storm: " << reports
        << " reports x 3 lines, two recipients on duty, synchronous=" << sync << " (2 = FULL)"
        << Qt::endl;

    // Storm and raw transactions take turns in ten slices, so that both see
    // the same disk: on a shared machine its pace drifts during a run.
    SqlReportStore store(*setup.conn);
    const ReceivedReport r = setup.report();
    const int slices = 10;
    qint64 storeMs = 0, intakeMs = 0, rawMs = 0, listed = 0;
    QElapsedTimer t;
    for (int slice = 0; slice < slices; ++slice) {
        const int count = reports / slices + (slice < reports % slices ? 1 : 0);
        t.start();
        for (int i = 0; i < count; ++i)
            if (!store.store(r)) {
                out << "store failed" << Qt::endl;
                return 1;
            }
        storeMs += t.restart();
        listed += setup.console->showNewActueel().size();
        intakeMs += t.restart();
        if (!rawTransactions(*setup.conn, count)) {
            out << "raw transactions failed" << Qt::endl;
            return 1;
        }
        rawMs += t.elapsed();
    }
    const qint64 dispatches =
        setup.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM uitmeld"))->toLongLong();
    if (listed != reports || dispatches != 2 * reports) {
        out << "intake incomplete: " << listed << " listed, " << dispatches << " dispatches"
            << Qt::endl;
        return 1;
    }
    const double storeRate = reports * 1000.0 / double(std::max<qint64>(1, storeMs));
    const double intakeRate = reports * 1000.0 / double(std::max<qint64>(1, intakeMs));
    const double stormRate = reports * 1000.0 / double(std::max<qint64>(1, storeMs + intakeMs));
    const double raw = reports * 1000.0 / double(std::max<qint64>(1, rawMs));
    out << "store:  " << qRound(storeRate) << " reports/s (" << storeMs << " ms)" << Qt::endl;
    out << "intake: " << qRound(intakeRate) << " reports/s (" << intakeMs << " ms)" << Qt::endl;
    out << "storm (store + intake): " << qRound(stormRate) << " reports/s" << Qt::endl;
    out << "raw durable transactions of " << kRowsPerReport << " rows: " << qRound(raw) << " /s ("
        << rawMs << " ms)" << Qt::endl;
    out << "peak RSS: " << QString::number(peakRssMib(), 'f', 1) << " MiB" << Qt::endl;
    out << "ratio=" << QString::number(raw > 0 ? stormRate / raw : 0, 'f', 2) << Qt::endl;
    return 0;
}

} // namespace taviro::bench
