#include "BenchSetup.h"

#include "SqlReportStore.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTextStream>

namespace taviro::bench {

namespace {

// Years of history: acknowledged dispatches, each with one line and its link.
bool fillHistory(const DatabaseConnector& conn, int rows)
{
    Transaction tx(conn);
    if (!tx.begin())
        return false;
    QSqlQuery melding(conn.database()), line(conn.database()), dispatch(conn.database()),
        link(conn.database());
    melding.prepare(QStringLiteral(
        "INSERT INTO meldingen (id, melding_date, bemand, \"show\", seen) VALUES (?, ?, 0, 0, 1)"));
    line.prepare(QStringLiteral(
        "INSERT INTO meldindex (id, melding_id, melder_id, alarm_id, uitmeld_id, flank, actief, "
        "\"24uurs\", uitmelden) VALUES (?, ?, 1, 1, ?, 1, 1, 0, 1)"));
    dispatch.prepare(QStringLiteral(
        "INSERT INTO uitmeld (id, ontvanger_id, uitmeldtype, done, pogingen, \"date\", "
        "bevestiger, bevestigtype) VALUES (?, 1, 1, 1, 1, ?, 1, 1)"));
    link.prepare(
        QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, ?)"));
    const QString old = QStringLiteral("2020-01-01 12:00:00");
    for (int i = 1; i <= rows; ++i) {
        if (i % 2 == 1) {
            melding.addBindValue(i);
            melding.addBindValue(old);
            if (!melding.exec())
                return false;
        }
        line.addBindValue(i);
        line.addBindValue(i - (i + 1) % 2);
        line.addBindValue(i);
        dispatch.addBindValue(i);
        dispatch.addBindValue(old);
        link.addBindValue(i);
        link.addBindValue(i);
        if (!line.exec() || !dispatch.exec() || !link.exec())
            return false;
    }
    return tx.commit().ok();
}

} // namespace

int runBigTable(int rows)
{
    QTextStream out(stdout);
    BenchSetup setup;
    if (!setup.error.isEmpty()) {
        out << "setup failed: " << setup.error << Qt::endl;
        return 1;
    }
    QElapsedTimer t;
    t.start();
    if (!fillHistory(*setup.conn, rows)) {
        out << "filling the history failed" << Qt::endl;
        return 1;
    }
    (void)setup.conn->exec(QStringLiteral("ANALYZE"));
    out << "history: " << rows << " uitmeld rows (with lines and links) in " << t.elapsed() << " ms"
        << Qt::endl;

    SqlReportStore store(*setup.conn);
    const int rounds = 20;
    double passMax = 0, passSum = 0, ackMax = 0, ackSum = 0, idleMax = 0;
    int passes = 0;
    for (int i = 0; i < rounds; ++i) {
        auto id = store.store(setup.report());
        if (!id)
            return 1;
        setup.console->showNewActueel(); // includes a first pass
        for (int p = 0; p < 2; ++p) {
            t.restart();
            setup.console->delivery().deliverNextDispatch();
            const double ms = double(t.nsecsElapsed()) / 1e6;
            passMax = std::max(passMax, ms);
            passSum += ms;
            ++passes;
        }
        t.restart();
        if (!setup.console->bevestigMelding(*id))
            return 1;
        const double ack = double(t.nsecsElapsed()) / 1e6;
        ackMax = std::max(ackMax, ack);
        ackSum += ack;
        setup.clock.advanceSecs(60);
    }
    t.restart();
    setup.console->delivery().deliverNextDispatch();
    idleMax = double(t.nsecsElapsed()) / 1e6;
    out << "delivery pass: mean " << QString::number(passSum / passes, 'f', 2) << " ms, max "
        << QString::number(passMax, 'f', 2)
        << " ms (nothing pending: " << QString::number(idleMax, 'f', 2) << " ms)" << Qt::endl;
    out << "acknowledgement: mean " << QString::number(ackSum / rounds, 'f', 2) << " ms, max "
        << QString::number(ackMax, 'f', 2) << " ms" << Qt::endl;

    // What every console does every 2.5 s, and before each intake, however
    // much history the tables hold.
    setup.console->noteListed({});
    double lookMax = 0, lookSum = 0;
    for (int i = 0; i < rounds; ++i) {
        t.restart();
        setup.console->followOtherStations();
        const double ms = double(t.nsecsElapsed()) / 1e6;
        lookMax = std::max(lookMax, ms);
        lookSum += ms;
    }
    t.restart();
    setup.console->followOtherStations(true);
    const double whole = double(t.nsecsElapsed()) / 1e6;
    t.restart();
    for (int i = 0; i < rounds; ++i)
        setup.console->scheduleCache().reloadIfChanged(*setup.conn, setup.log);
    const double counter = double(t.nsecsElapsed()) / 1e6 / rounds;
    out << "look for other stations' reports: mean " << QString::number(lookSum / rounds, 'f', 2)
        << " ms, max " << QString::number(lookMax, 'f', 2) << " ms (whole list: "
        << QString::number(whole, 'f', 2) << " ms); schedule counter check "
        << QString::number(counter, 'f', 3) << " ms" << Qt::endl;
    out << "SMS sent: " << setup.sms.sent.size() << Qt::endl;
    out << "peak RSS: " << QString::number(peakRssMib(), 'f', 1) << " MiB" << Qt::endl;
    return 0;
}

} // namespace taviro::bench
