#include "ActueelQuery.h"
#include "StationChildren.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace taviro;

// Two console stations on one database while the receivers store a storm of
// reports: each report is taken in by exactly one of them, and each dispatch
// delivered by exactly one. Runs on SQLite and, with TAVIRO_TEST_DATABASE, on
// PostgreSQL, where the stations really do run side by side.
namespace {

// A second console on the fixture's database, with a connection and
// services of its own.
struct OtherConsole
{
    ConnectorPtr conn;
    EventLog log;
    test::FakeSmsService sms;
    test::FakeMailSender mail;
    Console console;

    explicit OtherConsole(test::ConsoleFixture& f)
        : conn(f.db.connect()), log(f.clock, f.db.folder() + QStringLiteral("/other/")),
          console(*conn, f.clock, log, sms, mail)
    {
    }
};

} // namespace

class TstStations : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stormSharedByTwoStations()
    {
        test::ConsoleFixture f;
        const int reports = qEnvironmentVariableIntValue("TAVIRO_STORM_REPORTS") > 0
                                ? qEnvironmentVariableIntValue("TAVIRO_STORM_REPORTS")
                                : 400;
        test::StationChildren stations(f, 2);
        QVERIFY(stations.started());

        QElapsedTimer storm;
        storm.start();
        for (int i = 0; i < reports; ++i)
            QVERIFY(f.report({QStringLiteral("01")}) > 0);
        const qint64 stored = storm.elapsed();

        QElapsedTimer drain;
        drain.start();
        while (test::openWork(f) != 0 && drain.elapsed() < 200000)
            QTest::qWait(200);
        const auto [taken, sms, mail, error] = stations.stop();
        QVERIFY2(error.isEmpty(), qPrintable(error));
        qInfo("%d reports stored in %lld ms, all delivered %lld ms later", reports, stored,
              drain.elapsed());
        QCOMPARE(test::openWork(f), 0);
        QCOMPARE(taken, qint64(reports));
        // Jan gets SMS and e-mail, Marieke SMS: two dispatches a report, each
        // sent once; a report taken in twice would have made four.
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 2 * qint64(reports));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE pogingen <> 1")), 0);
        QCOMPARE(sms, 2 * qint64(reports));
        QCOMPARE(mail, qint64(reports));
    }

    // One operator acknowledges; the other station's list loses the report
    // at its next tick, once.
    void acknowledgementReachesTheOtherStation()
    {
        test::ConsoleFixture f;
        OtherConsole second(f);
        Console& other = second.console;
        const qint64 id = f.report({QStringLiteral("01")});
        QCOMPARE(f.console.showNewActueel().size(), 1);
        auto listed = loadActueel(*second.conn);
        QVERIFY(listed.ok());
        QCOMPARE(listed->size(), 1);
        other.noteListed(*listed);

        QSignalSpy gone(&other, &Console::meldingAcknowledged);
        other.dispatchTick();
        QCOMPARE(gone.size(), 0);
        QVERIFY(f.console.bevestigMelding(id).ok());
        other.dispatchTick();
        other.dispatchTick();
        QCOMPARE(gone.size(), 1);
        QCOMPARE(gone.first().first().toLongLong(), id);
    }

    // The lamp of a manned console calls for a report nobody acknowledged:
    // once the last one it lists is acknowledged at another workstation it
    // goes out there too, and not while one is still open.
    void theLampGoesOutWhenNothingIsLeftToAcknowledge_data()
    {
        QTest::addColumn<int>("reports");
        QTest::addColumn<bool>("lampOut");
        QTest::newRow("its only report acknowledged elsewhere") << 1 << true;
        QTest::newRow("one of two acknowledged elsewhere") << 2 << false;
    }
    void theLampGoesOutWhenNothingIsLeftToAcknowledge()
    {
        QFETCH(int, reports);
        QFETCH(bool, lampOut);
        test::ConsoleFixture f;
        OtherConsole second(f);
        Console& other = second.console;
        other.setBemand(true);
        other.setLampActive(true);
        QSignalSpy lamp(&other, &Console::lampRequested);
        QList<qint64> ids;
        for (int i = 0; i < reports; ++i)
            ids << f.report({QStringLiteral("01")});
        QCOMPARE(f.console.showNewActueel().size(), reports);
        other.followOtherStations();
        QVERIFY(!lamp.isEmpty());
        QCOMPARE(lamp.last().first().toBool(), true);
        lamp.clear();

        QVERIFY(f.console.bevestigMelding(ids.first()).ok());
        other.followOtherStations();
        other.followOtherStations();
        QCOMPARE(lamp.size(), lampOut ? 1 : 0);
        if (lampOut)
            QCOMPARE(lamp.first().first().toBool(), false);
    }

    // A transmitter a receiver added shows in every console's tree, whichever
    // workstation took its first report in.
    void aNewTransmitterReachesEveryConsolesTree()
    {
        test::ConsoleFixture f;
        OtherConsole second(f);
        Console& other = second.console;
        QSignalSpy otherTree(&other, &Console::melderTreeChanged);
        other.followOtherStations(); // the tree as built at its start
        QCOMPARE(otherTree.size(), 0);

        QVERIFY(f.report({QStringLiteral("07")}, QStringLiteral("5150")) > 0); // unknown: the receiver adds it
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM melders WHERE %1 = ?").arg(f.conn->id(QStringLiteral("new"))),
                          {sql::boolValue(true)}),
                 1);
        f.console.showNewActueel(); // a station takes it in, and with it the mark
        other.followOtherStations();
        QCOMPARE(otherTree.size(), 1);
        other.followOtherStations();
        QCOMPARE(otherTree.size(), 1); // once
    }

    // The database server restarting drops every station's connection: the
    // console says so once, opens a new one and takes in what waited.
    void lostServerConnectionIsRestored()
    {
        test::ConsoleFixture f;
        if (!f.db.onPostgres())
            QSKIP("a SQLite file has no connection to lose");
        const qint64 first = f.report({QStringLiteral("01")});
        QVERIFY(first > 0);
        {
            auto admin = f.db.connect();
            QVERIFY(admin
                        ->exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM "
                                              "pg_stat_activity WHERE datname = current_database() "
                                              "AND pid <> pg_backend_pid()"))
                        .ok());
        }
        QList<ActueelItem> items = f.console.showNewActueel();
        items += f.console.showNewActueel();
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().meldingId, first);
        QVERIFY(f.report({QStringLiteral("02")}) > 0); // the receivers' side reconnects too
        QCOMPARE(f.console.showNewActueel().size(), 1);
        const QString log = f.logText();
        QVERIFY2(log.contains(QStringLiteral("verbinding met de database is verbroken")),
                 qPrintable(log));
        QVERIFY(log.contains(QStringLiteral("verbinding met de database is hersteld")));
    }
};

QTEST_GUILESS_MAIN(TstStations)
#include "tst_stations.moc"
