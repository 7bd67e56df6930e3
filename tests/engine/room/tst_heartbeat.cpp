// The room's manned state and the silence of a manned console, judged from
// rows whose heartbeats lie in the past by the database server's clock, so
// nothing here waits for a heartbeat to go stale.
#include "EventLog.h"
#include "FakeClock.h"
#include "OutboxMails.h"
#include "Heartbeat.h"
#include "SchemaExtensions.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace taviro;

namespace {
constexpr int kStale = 90;
}

class TestHeartbeat : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    ConnectorPtr m_conn;
    test::FakeClock m_clock;
    QTemporaryDir m_logDir;

    QString serverNow() const { return sql::serverNowSeconds(m_conn->dialect()); }

    // A workstation row that last beat `age` seconds ago by the server's clock.
    void putRow(const QString& naam, const QString& soort, bool bemand, int age, const QString& host = QStringLiteral("elders"),
                qint64 pid = 4242)
    {
        QVERIFY(m_conn->exec(QStringLiteral("INSERT INTO werkplek (naam, soort, gebruiker, bemand, hartslag, host, pid, "
                                            "stilgemeld) VALUES (?, ?, ?, ?, %1 - ?, ?, ?, ?)")
                                 .arg(serverNow()),
                             {naam, soort, QString(), sql::boolValue(bemand), age, host, pid, sql::boolValue(false)}));
    }

    std::unique_ptr<Heartbeat> station(EventLog& log, const QString& naam)
    {
        return std::make_unique<Heartbeat>(*m_conn, log, Heartbeat::Kind::Station, naam, HeartbeatTiming{30, kStale});
    }

    qsizetype mails() const { return test::outboxMails(*m_conn).size(); }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_conn = m_db->connect();
        QVERIFY(m_conn);
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE settings SET %1 = ?").arg(m_conn->id(QStringLiteral("OnbemandeMeldingEmail"))),
                             {QStringLiteral("wacht@taviro.test")}));
    }

    void cleanup()
    {
        m_conn.reset();
        m_db.reset();
    }

    void whoHoldsAName_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<qint64>("age");
        QTest::addColumn<bool>("alive");
        QTest::addColumn<bool>("held");
        // This machine is "hier", this process 100.
        QTest::newRow("fresh, another machine") << QStringLiteral("daar") << qint64(100) << qint64(10) << false << true;
        QTest::newRow("stale, another machine") << QStringLiteral("daar") << qint64(7) << qint64(91) << true << false;
        QTest::newRow("fresh, here, live process") << QStringLiteral("hier") << qint64(7) << qint64(5) << true << true;
        QTest::newRow("fresh, here, process gone (restart after crash)") << QStringLiteral("hier") << qint64(7) << qint64(5) << false << false;
        QTest::newRow("fresh, here, our own number (new PID namespace)") << QStringLiteral("hier") << qint64(100) << qint64(5) << true << false;
        QTest::newRow("exactly at the limit counts as fresh") << QStringLiteral("daar") << qint64(7) << qint64(90) << false << true;
    }

    void whoHoldsAName()
    {
        QFETCH(QString, host);
        QFETCH(qint64, pid);
        QFETCH(qint64, age);
        QFETCH(bool, alive);
        QFETCH(bool, held);
        const WorkstationClaim row{host, pid, age};
        QCOMPARE(heldByAnother(row, QStringLiteral("hier"), 100, kStale, [alive](qint64) { return alive; }), held);
    }

    void aLiveProcessOfAnotherProgramIsNoStation()
    {
        QVERIFY(sameProgramAlive(::getpid()));
        QVERIFY(!sameProgramAlive(::getppid())); // whoever started this test
        QVERIFY(!sameProgramAlive(0));
    }

    void roomState_data()
    {
        QTest::addColumn<QStringList>("rows"); // soort:bemand:age
        QTest::addColumn<bool>("manned");
        QTest::newRow("no rows") << QStringList{} << false;
        QTest::newRow("a manned console beating") << QStringList{QStringLiteral("console:1:5")} << true;
        QTest::newRow("a manned console gone silent") << QStringList{QStringLiteral("console:1:200")} << false;
        QTest::newRow("a manned console just at the staleness time") << QStringList{QStringLiteral("console:1:90")} << false;
        QTest::newRow("an unmanned console beating") << QStringList{QStringLiteral("console:0:5")} << false;
        QTest::newRow("a station never mans the room") << QStringList{QStringLiteral("station:1:5")} << false;
        QTest::newRow("one silent, one beating") << QStringList{QStringLiteral("console:1:500"), QStringLiteral("console:1:20")} << true;
        QTest::newRow("a heartbeat from the future (server clock moved back)") << QStringList{QStringLiteral("console:1:-30")} << true;
    }

    void roomState()
    {
        QFETCH(QStringList, rows);
        QFETCH(bool, manned);
        int n = 0;
        for (const QString& r : rows) {
            const QStringList f = r.split(QLatin1Char(':'));
            putRow(QStringLiteral("plek%1").arg(++n), f[0], f[1] == QLatin1String("1"), f[2].toInt());
        }
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        auto me = station(log, QStringLiteral("st"));
        QCOMPARE(me->roomManned(), manned);
    }

    // Only a name a live workstation holds is final (the station exits and
    // is not restarted); a database that does not answer now is tried again.
    void signOnTellsATakenNameFromAPassingFailure_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<bool>("nameTaken");
        QTest::newRow("a live station has the name") << "naam" << true;
        QTest::newRow("the table cannot be read") << "tabel" << false;
        QTest::newRow("the connection is gone") << "verbinding" << false;
    }
    void signOnTellsATakenNameFromAPassingFailure()
    {
        QFETCH(QString, trouble);
        QFETCH(bool, nameTaken);
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        auto me = station(log, QStringLiteral("st"));
        if (trouble == QStringLiteral("naam"))
            putRow(QStringLiteral("st"), QStringLiteral("station"), false, 5);
        else if (trouble == QStringLiteral("tabel"))
            QVERIFY(m_conn->exec(QStringLiteral("ALTER TABLE werkplek RENAME TO werkplek_weg")));
        else
            m_conn->database().close();
        QVERIFY(!me->signOn());
        QCOMPARE(me->nameTaken(), nameTaken);
    }

    // The last manned console dies just after its beat, the worst moment:
    // the station must see the room unmanned within the staleness time, not
    // at its own next beat after that.
    void silenceIsSeenWithinTheStalenessTime()
    {
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        constexpr int kShortStale = 2;
        const HeartbeatTiming timing{30, kShortStale};
        Heartbeat console(*m_conn, log, Heartbeat::Kind::Console, QStringLiteral("console-a"), timing);
        QVERIFY(console.signOn());
        console.setManned(true); // its last beat; it is never heard of again
        QElapsedTimer sinceLastBeat;
        sinceLastBeat.start();
        Heartbeat st(*m_conn, log, Heartbeat::Kind::Station, QStringLiteral("st"), timing);
        QVERIFY(st.signOn());
        QSignalSpy changed(&st, &Heartbeat::roomMannedChanged);
        st.beat();
        st.start();
        QCOMPARE(changed.size(), 1);
        QVERIFY(changed.last().first().toBool());
        QVERIFY(changed.wait(10000));
        QVERIFY(!changed.last().first().toBool());
        // Heartbeats are whole seconds on the server's clock: at most one more.
        QVERIFY2(sinceLastBeat.elapsed() <= kShortStale * 1000 + 1200, qPrintable(QString::number(sinceLastBeat.elapsed())));
    }

    void signOnRefusesALiveNameAndTakesAStaleOne()
    {
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        putRow(QStringLiteral("bezet"), QStringLiteral("station"), false, 10, QStringLiteral("elders"));
        putRow(QStringLiteral("oud"), QStringLiteral("station"), false, 300, QStringLiteral("elders"));
        // A console of the same name is another kind of row.
        putRow(QStringLiteral("gedeeld"), QStringLiteral("console"), true, 1, QStringLiteral("elders"));
        // Our own machine's row from a process that ended.
        putRow(QStringLiteral("herstart"), QStringLiteral("station"), false, 3, QSysInfo::machineHostName(), 999999999);

        const Status refused = station(log, QStringLiteral("bezet"))->signOn();
        QVERIFY(!refused);
        QVERIFY2(refused.error().contains(QStringLiteral("bezet")) && refused.error().contains(QStringLiteral("elders")),
                 qPrintable(refused.error()));
        for (const char* free : {"oud", "gedeeld", "herstart", "nieuw"})
            QVERIFY2(station(log, QString::fromLatin1(free))->signOn().ok(), free);
        auto row = m_conn->query(QStringLiteral("SELECT host, pid FROM werkplek WHERE naam = ? AND soort = ?"),
                                 {QStringLiteral("herstart"), QStringLiteral("station")});
        QVERIFY(row && row->next());
        QCOMPARE(sql::toText(row->value(0)), QSysInfo::machineHostName());
        QCOMPARE(sql::toLong(row->value(1)), qint64(::getpid()));
    }

    void aSilentMannedConsoleIsLoggedEverywhereAndMailedOnce()
    {
        putRow(QStringLiteral("console-a"), QStringLiteral("console"), true, 200);
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        QStringList screen;
        connect(&log, &EventLog::screenLine, this, [&screen](const QString& l) { screen << l; });
        auto one = station(log, QStringLiteral("st1"));
        auto two = station(log, QStringLiteral("st2"));
        QSignalSpy roomChanges(one.get(), &Heartbeat::roomMannedChanged);
        for (int round = 0; round < 3; ++round) {
            one->beat();
            two->beat();
        }
        QCOMPARE(screen.filter(QStringLiteral("Console console-a was bemand")).size(), 2); // once per workstation
        QCOMPARE(mails(), 1);
        const outbox::OutboxRow m = test::outboxMails(*m_conn).value(0);
        QCOMPARE(m.address, QStringLiteral("wacht@taviro.test"));
        QVERIFY(m.subject.contains(QStringLiteral("console-a")));
        QCOMPARE(roomChanges.size(), 1);
        QCOMPARE(roomChanges.first().first().toBool(), false);

        // The console comes back and falls silent again: a new silence, a new mail.
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE werkplek SET hartslag = %1, stilgemeld = ? WHERE naam = ?").arg(serverNow()),
                             {sql::boolValue(false), QStringLiteral("console-a")}));
        one->beat();
        two->beat();
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE werkplek SET hartslag = %1 - 300 WHERE naam = ?").arg(serverNow()),
                             {QStringLiteral("console-a")}));
        one->beat();
        two->beat();
        QCOMPARE(mails(), 2);
        QCOMPARE(screen.filter(QStringLiteral("Console console-a was bemand")).size(), 4);
    }

    void aSilenceWhileAnotherConsoleMansTheRoomIsNotMailed()
    {
        putRow(QStringLiteral("console-a"), QStringLiteral("console"), true, 200);
        putRow(QStringLiteral("console-b"), QStringLiteral("console"), true, 5);
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        QStringList screen;
        connect(&log, &EventLog::screenLine, this, [&screen](const QString& l) { screen << l; });
        auto me = station(log, QStringLiteral("st1"));
        me->beat();
        QCOMPARE(screen.filter(QStringLiteral("console-a")).size(), 1);
        QCOMPARE(mails(), 0);
        QVERIFY(me->roomManned());
    }

    // The mark and the mail are one decision: when the mail cannot be
    // queued, the mark is not kept either, and a later look tells after all.
    void aSilenceIsMarkedOnlyWithItsMail()
    {
        putRow(QStringLiteral("console-a"), QStringLiteral("console"), true, 200);
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        QStringList screen;
        connect(&log, &EventLog::screenLine, this, [&screen](const QString& l) { screen << l; });
        auto me = station(log, QStringLiteral("st1"));
        QVERIFY(m_conn->exec(QStringLiteral("ALTER TABLE mailwachtrij RENAME TO mailwachtrij_weg")));
        me->beat();
        auto marked = m_conn->scalar(QStringLiteral("SELECT stilgemeld FROM werkplek WHERE naam = ?"), {QStringLiteral("console-a")});
        QVERIFY(marked);
        QVERIFY(!sql::toBool(*marked));
        QVERIFY(m_conn->exec(QStringLiteral("ALTER TABLE mailwachtrij_weg RENAME TO mailwachtrij")));
        me->beat();
        me->beat();
        QCOMPARE(mails(), 1);
        QVERIFY(test::outboxMails(*m_conn).value(0).key.startsWith(QStringLiteral("stil console-a ")));
        QCOMPARE(screen.filter(QStringLiteral("Console console-a was bemand")).size(), 1); // said once all the same
    }

    void anEmptiedTableIsRefilledWithoutFalseAlarms()
    {
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        QStringList screen;
        connect(&log, &EventLog::screenLine, this, [&screen](const QString& l) { screen << l; });
        Heartbeat console(*m_conn, log, Heartbeat::Kind::Console, QStringLiteral("console-a"), HeartbeatTiming{30, kStale});
        QVERIFY(console.signOn().ok());
        console.setManned(true);
        QVERIFY(console.roomManned());
        QVERIFY(m_conn->exec(QStringLiteral("DELETE FROM werkplek")));
        QVERIFY(!console.roomManned());
        console.beat();
        QVERIFY(console.roomManned());
        auto rows = m_conn->scalar(QStringLiteral("SELECT COUNT(*) FROM werkplek"));
        QVERIFY(rows);
        QCOMPARE(sql::toLong(*rows), qint64(1));
        QVERIFY(screen.isEmpty());
        QCOMPARE(mails(), 0);

        // Stopped on purpose: unmanned at once, which is no silence either.
        console.signOff();
        QVERIFY(!console.roomManned());
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE werkplek SET hartslag = %1 - 300").arg(serverNow())));
        auto other = station(log, QStringLiteral("st1"));
        other->beat();
        QVERIFY(screen.isEmpty());
        QCOMPARE(mails(), 0);
    }

    void operatorAndMannedStateAreWrittenAtOnce()
    {
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        Heartbeat console(*m_conn, log, Heartbeat::Kind::Console, QStringLiteral("console-a"), HeartbeatTiming{30, kStale});
        QVERIFY(console.signOn().ok());
        console.setOperator(QStringLiteral("Operator Een"));
        console.setManned(true);
        auto row = m_conn->query(QStringLiteral("SELECT gebruiker, bemand FROM werkplek WHERE naam = ?"), {QStringLiteral("console-a")});
        QVERIFY(row && row->next());
        QCOMPARE(sql::toText(row->value(0)), QStringLiteral("Operator Een"));
        QVERIFY(sql::toBool(row->value(1)));
    }

    // A workstation leaves SMS to another only on that one's fresh word
    // that its modem can send; a console beside a station shares its name.
    void anotherModemReady_data()
    {
        QTest::addColumn<QString>("naam");
        QTest::addColumn<QString>("soort");
        QTest::addColumn<bool>("gsmklaar");
        QTest::addColumn<int>("age");
        QTest::addColumn<bool>("counts");
        QTest::newRow("another station, ready") << "st-b" << "station" << true << 10 << true;
        QTest::newRow("another station, not ready") << "st-b" << "station" << false << 10 << false;
        QTest::newRow("ready, but silent too long") << "st-b" << "station" << true << kStale + 1 << false;
        QTest::newRow("the console beside us") << "st-a" << "console" << true << 10 << true;
        QTest::newRow("our own row from before a restart") << "st-a" << "station" << true << 10 << false;
    }
    void anotherModemReady()
    {
        QFETCH(QString, naam);
        QFETCH(QString, soort);
        QFETCH(bool, gsmklaar);
        QFETCH(int, age);
        QFETCH(bool, counts);
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        putRow(naam, soort, false, age);
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE werkplek SET gsmklaar = ?"), {sql::boolValue(gsmklaar)}));
        QCOMPARE(station(log, QStringLiteral("st-a"))->anotherModemReady(), counts);
    }

    // The flag is written at once when it changes, and a workstation that
    // signs off no longer holds the SMS for the others.
    void ownModemStateIsCarriedInTheBeat()
    {
        EventLog log(m_clock, m_logDir.path() + QLatin1Char('/'));
        auto a = station(log, QStringLiteral("st-a"));
        auto b = station(log, QStringLiteral("st-b"));
        QVERIFY(a->signOn().ok());
        QVERIFY(b->signOn().ok());
        QVERIFY(!b->anotherModemReady());
        a->setModemReady(true);
        QVERIFY(b->anotherModemReady());
        QVERIFY(!a->anotherModemReady());
        a->signOff();
        QVERIFY(!b->anotherModemReady());
    }

    // A room table made by an earlier release lacks the column; the start-up
    // adds it, once, and twice is harmless.
    void anEarlierTableGetsTheModemColumn()
    {
        QVERIFY(m_conn->exec(QStringLiteral("ALTER TABLE werkplek DROP COLUMN gsmklaar")));
        QVERIFY(m_conn->exec(QStringLiteral("ALTER TABLE uitmeldretry DROP COLUMN station")));
        QVERIFY(schema::ensureExtensions(*m_conn).ok());
        QVERIFY(schema::ensureExtensions(*m_conn).ok());
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE werkplek SET gsmklaar = ?"), {sql::boolValue(true)}));
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE uitmeldretry SET station = ?"), {sql::textValue(QString())}));
    }
};

QTEST_GUILESS_MAIN(TestHeartbeat)
#include "tst_heartbeat.moc"
