#include "EventLog.h"
#include "FakeClock.h"
#include "Installation.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Watchdog.h"

#include <QTest>

using namespace taviro;

// Two stations share one database and both run the quarter-hour check. A
// point that is late must give exactly one report, whichever station gets
// there first.
class TstWatchdog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lateCheckInIsReportedByOneStationOnly()
    {
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        ConnectorPtr stationA = db.connect();
        ConnectorPtr stationB = db.connect();
        QVERIFY(stationA && stationB);

        test::Installation inst(*stationA);
        const qint64 melder =
            inst.transmitter(QStringLiteral("OS1"), QStringLiteral("Gemaal"), 0, 0, 0);
        const qint64 point =
            inst.point(melder, QStringLiteral("01"), QStringLiteral("Dagelijkse test"), 0, 0, true);
        QVERIFY2(inst.ok(), qPrintable(inst.error()));
        test::FakeClock clock;
        QVERIFY(stationA
                    ->exec(QStringLiteral("UPDATE alarmen SET %1 = ? WHERE id = ?")
                               .arg(stationA->id(QStringLiteral("date"))),
                           {sql::dateValue(clock.now().addDays(-2), stationA->dialect()),
                            sql::keyValue(point)})
                    .ok());

        EventLog logA(clock, db.folder() + QStringLiteral("/a/"));
        EventLog logB(clock, db.folder() + QStringLiteral("/b/"));
        Watchdog a(*stationA, clock, logA);
        Watchdog b(*stationB, clock, logB);
        // Both stations found the point late in their own pass before either
        // claimed it; then both claim.
        const qint64 first = a.createLateReport(melder, point);
        const qint64 second = b.createLateReport(melder, point);
        QVERIFY(first != 0);
        QCOMPARE(second, qint64(0));

        auto reports = stationB->scalar(QStringLiteral("SELECT COUNT(*) FROM meldingen"));
        QVERIFY(reports.ok());
        QCOMPARE(reports->toInt(), 1);
        auto lines = stationB->scalar(QStringLiteral("SELECT COUNT(*) FROM meldindex"));
        QCOMPARE(lines->toInt(), 1);
        // The point stays claimed: a later pass of either station leaves it alone.
        QVERIFY(a.check24uurs().isEmpty());
        QVERIFY(b.check24uurs().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstWatchdog)
#include "tst_watchdog.moc"
