#include "PgTestServer.h"
#include "StationChildren.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace taviro;

// Two stations share a PostgreSQL server that dies mid-storm and comes back:
// they say so in their logs, keep running, and afterwards every stored
// report has been taken in once and every dispatch sent once.
class TstPgOutage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void serverKilledMidStorm()
    {
        if (!test::PgTestServer::available())
            QSKIP("PostgreSQL is not installed");
        // Of its own: killed and started again mid-storm.
        test::PgTestServer server;
        QVERIFY2(!server.url().isEmpty(), qPrintable(server.error()));
        qputenv("TAVIRO_TEST_DATABASE", server.url().toUtf8());
        auto f = std::make_unique<test::ConsoleFixture>();
        QVERIFY(f->db.onPostgres());

        // A short lease, so that claims cut off with the connection come
        // back within the test; still long enough for a station slowed by
        // a loaded machine to reconnect and record what it sent first.
        test::StationChildren stations(*f, 2, QStringLiteral("8"));
        QVERIFY(stations.started());

        const int before = 250, after = 250;
        for (int i = 0; i < before; ++i)
            QVERIFY(test::storeUntilTaken(*f) > 0);
        QVERIFY(server.run(QStringLiteral("kill")));
        QTest::qWait(2500); // the stations notice and wait
        QCOMPARE(f->report({QStringLiteral("01")}), 0);
        QVERIFY(server.run(QStringLiteral("resume")));
        for (int i = 0; i < after; ++i)
            QVERIFY(test::storeUntilTaken(*f) > 0);

        QElapsedTimer drain;
        drain.start();
        while (test::openWork(*f) != 0 && drain.elapsed() < 120000)
            QTest::qWait(200);
        QVERIFY(stations.allRunning()); // no station gave up
        const auto [taken, sms, mail, error] = stations.stop();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(test::openWork(*f), 0);
        // A store cut off in its commit may have landed although the
        // receiver heard otherwise; its repeat is then a report of its own.
        const qint64 stored = f->number(QStringLiteral("SELECT COUNT(*) FROM meldingen"));
        QVERIFY(stored >= before + after);
        qInfo("%lld reports stored, %lld taken in, %lld SMS, %lld e-mails", stored, taken, sms,
              mail);
        if (sms != 2 * stored || mail != stored) // what the stations said about their sends
            for (const QString& line : test::allLogs(f->db.folder()).split(QLatin1Char('\n')))
                if (line.contains(QLatin1String("Uitmelding")))
                    qInfo("%s", qPrintable(line.trimmed()));
        QCOMPARE(taken, stored);
        QCOMPARE(f->number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 2 * stored);
        QCOMPARE(f->number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE pogingen <> 1")), 0);
        QCOMPARE(sms, 2 * stored);
        QCOMPARE(mail, stored);

        const QString logs = test::allLogs(f->db.folder());
        QVERIFY2(logs.contains(QStringLiteral("De verbinding met de database is verbroken")),
                 qPrintable(logs.right(2000)));
        QVERIFY(logs.contains(QStringLiteral("De verbinding met de database is hersteld")));
        f.reset(); // drops its database while the server still runs
        qunsetenv("TAVIRO_TEST_DATABASE");
    }
};

QTEST_GUILESS_MAIN(TstPgOutage)
#include "tst_pgoutage.moc"
