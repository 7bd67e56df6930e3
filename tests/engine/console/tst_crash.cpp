#include "ConsoleFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

using namespace taviro;

// Kills a console that is taking reports in, at random moments, while
// receivers keep storing new ones; then checks that no report was lost,
// half-stored, taken in twice or forwarded twice.
class TstCrash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedAtRandomMoments()
    {
        test::ConsoleFixture f;
        test::Installation(*f.conn).point(f.melder, QStringLiteral("03"),
                                          QStringLiteral("Koeling"));
        const QString child =
            QCoreApplication::applicationDirPath() + QStringLiteral("/intake_child");
        const QString logs = f.db.folder() + QStringLiteral("/childlog/");
        QRandomGenerator random(20261202);
        int kills = 0;
        QElapsedTimer total;
        total.start();
        for (int round = 0; round < 40 && total.elapsed() < 30000; ++round) {
            QProcess p;
            p.start(child, {f.db.path(), logs});
            QVERIFY(p.waitForStarted());
            QElapsedTimer alive;
            alive.start();
            const int lifetime = random.bounded(20, 250);
            while (alive.elapsed() < lifetime)
                f.report({QStringLiteral("01"), QStringLiteral("02"),
                          QStringLiteral("03")}); // the receivers' stream
            if (p.state() == QProcess::Running) {
                p.kill(); // SIGKILL: no clean-up of any kind
                ++kills;
            }
            p.waitForFinished();
        }
        QProcess drain;
        drain.start(child, {f.db.path(), logs, QStringLiteral("drain")});
        QVERIFY(drain.waitForFinished(30000));
        QCOMPARE(drain.exitCode(), 0);
        QVERIFY(kills >= 10);

        const qint64 reports = f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen"));
        qInfo("%d kills, %lld reports", kills, reports);
        QVERIFY(reports > 50);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE seen = 0")), 0);
        // Every report complete: three lines, all forwarded.
        QCOMPARE(f.number(QStringLiteral(
                     "SELECT COUNT(*) FROM meldingen WHERE (SELECT COUNT(*) FROM meldindex "
                     "WHERE melding_id = meldingen.id) <> 3")),
                 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldindex WHERE uitmelden <> 1")),
                 0);
        // Each line exactly once with each of the two people on duty.
        QCOMPARE(
            f.number(
                QStringLiteral(
                    "SELECT COUNT(*) FROM meldindex WHERE (SELECT COUNT(*) FROM uitmeldlink "
                    "JOIN uitmeld ON uitmeld.id = uitmeldlink.uitmeld_id WHERE "
                    "uitmeldlink.meldindex_id = meldindex.id AND uitmeld.ontvanger_id IN (?, ?)) "
                    "<> 2 "
                    "OR (SELECT COUNT(DISTINCT uitmeld.ontvanger_id) FROM uitmeldlink JOIN uitmeld "
                    "ON uitmeld.id = uitmeldlink.uitmeld_id WHERE uitmeldlink.meldindex_id = "
                    "meldindex.id) <> 2"),
                {f.jan, f.marieke}),
            0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 2 * reports);
    }
};

QTEST_GUILESS_MAIN(TstCrash)
#include "tst_crash.moc"
