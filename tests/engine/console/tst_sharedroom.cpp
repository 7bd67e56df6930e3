#include "ActueelQuery.h"
#include "ChangeCounter.h"
#include "ConsoleFixture.h"
#include "Heartbeat.h"
#include "Repositories.h"
#include "Transaction.h"

#include <QSignalSpy>
#include <QTest>

using namespace taviro;

namespace {

// A second station on the same database file: its own connection, its own
// services and its own name, as a console on the next desk would have.
struct Peer
{
    ConnectorPtr conn;
    test::FakeSmsService sms;
    test::FakeMailSender mail;
    std::unique_ptr<Console> console;

    Peer(test::ConsoleFixture& f, const char* station)
    {
        qputenv("TAVIRO_STATION", station);
        conn = f.db.connect();
        console = std::make_unique<Console>(*conn, f.clock, f.log, sms, mail);
        console->setSmsSettleMsecs(0);
        if (!console->loadPlanningCache())
            qFatal("schedule cache");
    }
};

void addModemPort(test::ConsoleFixture& f)
{
    QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO comports (number, designation, baudrate, string, timeout, databits, "
                                        "parity, stopbits, is_gsm) VALUES (3, 2, 9600, 'AT', 2, 8, 'N', 1, ?)"),
                         {sql::boolValue(true)}));
}

// Both stations' heartbeats, wired as the programs wire them: each reports
// whether its modem can send, and asks whether another's can.
struct Room
{
    Heartbeat a, b;
    Room(test::ConsoleFixture& f, Peer& peer)
        : a(*f.conn, f.log, Heartbeat::Kind::Station, QStringLiteral("station-a"), HeartbeatTiming{}),
          b(*peer.conn, f.log, Heartbeat::Kind::Station, QStringLiteral("station-b"), HeartbeatTiming{})
    {
        addModemPort(f);
        for (const auto& [console, heartbeat] : {std::pair{&f.console, &a}, std::pair{peer.console.get(), &b}}) {
            Heartbeat* beat = heartbeat;
            QVERIFY(beat->signOn());
            console->setModemElsewhere([beat] { return beat->anotherModemReady(); });
            QObject::connect(console, &Console::smsModemReadyChanged, beat, &Heartbeat::setModemReady);
            console->getSmsSettings();
        }
    }
    // What a station's SMS service reports about its modem.
    static void state(test::FakeSmsService& sms, const QString& what)
    {
        if (what == QLatin1String("ready"))
            Q_EMIT sms.modemStateChanged(QStringLiteral("GSM-modem op COM 3: klaar, signaal 17/31"), true);
        else if (what == QLatin1String("silent"))
            Q_EMIT sms.modemStateChanged(QStringLiteral("GSM-modem op COM 3: meldt geen toestand"), false);
        else
            Q_EMIT sms.modemStateChanged(QStringLiteral("GSM-modem op COM 3: geen SIM-kaart"), false);
    }
};

void drain(test::ConsoleFixture& f, Console& c)
{
    for (int i = 0; i < 10; ++i)
        c.deliverNextDispatch();
    f.settle();
}

// Collects the reports a console adds to its list, in order.
struct Listed : QObject
{
    QList<qint64> ids;
    explicit Listed(Console& c)
    {
        connect(&c, &Console::actueelAdded, this, [this](const ActueelItem& item) { ids.append(item.meldingId); });
    }
};

qsizetype smsTo(const test::FakeSmsService& sms, const QString& number)
{
    return std::count_if(sms.sent.cbegin(), sms.sent.cend(),
                         [&](const SmsRequest& r) { return r.mobileNumber == number; });
}

const QString kJan = QStringLiteral("+31612345678");
const QString kMarieke = QStringLiteral("+31623456789");

} // namespace

// Several consoles and stations on one database work as one control room:
// each lists every open report, uses the schedules whoever saved them, and
// SMS go out through whichever station's modem can send.
class TstSharedRoom : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { qputenv("TAVIRO_STATION", "station-a"); }

    // Console A keeps a list; station B takes a report in. A hears and shows
    // it at its next look, once, unless it is one A already has.
    void reportsTakenInElsewhereAreListed_data()
    {
        QTest::addColumn<QString>("takenInBy");  // "B", "A" or "A at start-up"
        QTest::addColumn<QString>("functie");    // 03 is a 24-hour check-in point
        QTest::addColumn<bool>("bemand");
        QTest::addColumn<int>("added");          // items A's list gained through the look
        QTest::addColumn<int>("beeps");          // beeps the look caused
        QTest::addColumn<int>("lamps");

        QTest::newRow("other station, manned") << "B" << "01" << true << 1 << 1 << 1;
        QTest::newRow("other station, unmanned: no lamp") << "B" << "01" << false << 1 << 1 << 0;
        QTest::newRow("check-in only: never listed") << "B" << "03" << true << 0 << 0 << 0;
        QTest::newRow("taken in here: not listed twice") << "A" << "01" << true << 0 << 0 << 0;
        QTest::newRow("backlog listed at start-up: no beep") << "A at start-up" << "01" << true << 0 << 0 << 0;
    }
    void reportsTakenInElsewhereAreListed()
    {
        QFETCH(QString, takenInBy);
        QFETCH(QString, functie);
        QFETCH(bool, bemand);
        QFETCH(int, added);
        QFETCH(int, beeps);
        QFETCH(int, lamps);
        test::ConsoleFixture f;
        test::Installation(*f.conn).point(f.melder, QStringLiteral("03"), QStringLiteral("Controle"), 0, 0, true);
        f.console.setBemand(bemand);
        f.console.setLampActive(true);
        Peer b(f, "station-b");
        f.console.followOtherStations(); // the mark stands on an empty room

        const qint64 id = f.report({functie});
        if (takenInBy == QLatin1String("B"))
            b.console->showNewActueel();
        else if (takenInBy == QLatin1String("A"))
            f.console.showNewActueel();
        else // taken in by B while A was closed; A lists the backlog when it starts
            b.console->showNewActueel(), f.console.noteListed(*loadActueel(*f.conn));

        Listed shown(f.console);
        QSignalSpy beep(&f.console, &Console::beep);
        QSignalSpy lamp(&f.console, &Console::lampRequested);
        f.console.followOtherStations();
        f.console.followOtherStations(true); // the minute's look over the whole list agrees
        QCOMPARE(shown.ids, added ? QList<qint64>{id} : QList<qint64>{});
        QCOMPARE(beep.size(), beeps);
        QCOMPARE(lamp.size(), lamps);
    }

    // A report that one station is still taking in while a later one is
    // already listed must not fall below the mark and be missed.
    void aReportTakenInLateIsStillListed()
    {
        test::ConsoleFixture f;
        Peer b(f, "station-b");
        const qint64 first = f.report({QStringLiteral("01")});
        const qint64 second = f.report({QStringLiteral("02")});
        // Another station's intake of the later report committed first.
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE meldingen SET seen = ? WHERE id = ?"),
                             {sql::boolValue(true), second}));
        Listed shown(f.console);
        f.console.followOtherStations();
        QCOMPARE(shown.ids, QList<qint64>{second});
        b.console->showNewActueel();
        f.console.followOtherStations();
        QCOMPARE(shown.ids, (QList<qint64>{second, first}));
    }

    // Acknowledged at B: A's list drops it at its next look.
    void acknowledgedElsewhereLeavesTheList()
    {
        test::ConsoleFixture f;
        Peer b(f, "station-b");
        const qint64 id = f.report({QStringLiteral("01")});
        b.console->showNewActueel();
        f.console.followOtherStations();
        QSignalSpy gone(&f.console, &Console::meldingAcknowledged);
        QVERIFY(b.console->bevestigMelding(id));
        f.console.followOtherStations();
        QCOMPARE(gone.size(), 1);
        QCOMPARE(gone.first().first().toLongLong(), id);
        f.console.followOtherStations();
        QCOMPARE(gone.size(), 1);
    }

    // A schedule saved at B is used by A at its next intake. Before the
    // change counter, A went on with its old cache: a new schedule gave
    // "Weekrooster N bestaat niet" and changed cells were ignored.
    void schedulesSavedElsewhereAreUsed_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("counted"); // written through the repositories
        QTest::addColumn<int>("toJan");
        QTest::addColumn<int>("toMarieke");
        QTest::addColumn<bool>("missingSchedule");

        QTest::newRow("new week schedule") << "new week" << true << 1 << 0 << false;
        QTest::newRow("cells changed") << "cells" << true << 0 << 1 << false;
        QTest::newRow("new year schedule") << "new year" << true << 1 << 0 << false;
        QTest::newRow("another program, uncounted") << "new week" << false << 0 << 0 << true;
    }
    void schedulesSavedElsewhereAreUsed()
    {
        QFETCH(QString, change);
        QFETCH(bool, counted);
        QFETCH(int, toJan);
        QFETCH(int, toMarieke);
        QFETCH(bool, missingSchedule);
        test::ConsoleFixture f;
        Peer b(f, "station-b"); // its editors save what follows

        test::Installation inst(*b.conn);
        WeekPlanning janOnly = inst.weekTemplate(QStringLiteral("JAN"));
        for (int day = 0; day < 7; ++day)
            janOnly.cells[WeekPlanning::cellIndex(0, day, 0)] = f.jan;
        qint64 weekId = 0;
        {
            Transaction tx(*b.conn);
            QVERIFY(tx.begin());
            if (change == QLatin1String("cells")) {
                WeekPlanning w = **WeekPlanningRepository(*b.conn).find(f.week);
                for (int day = 0; day < 7; ++day)
                    w.cells[WeekPlanning::cellIndex(0, day, 0)] = 0;
                QVERIFY(WeekPlanningRepository(*b.conn).update(w));
            } else if (counted) {
                weekId = *WeekPlanningRepository(*b.conn).insert(janOnly);
            } else {
                weekId = *static_cast<const Table<WeekPlanning>&>(WeekPlanningRepository(*b.conn)).insert(janOnly);
            }
            if (change == QLatin1String("new year")) {
                JaarPlanning y;
                y.alias = QStringLiteral("J");
                std::fill(y.weeks.begin(), y.weeks.end(), weekId);
                const qint64 yearId = *JaarPlanningRepository(*b.conn).insert(y);
                QVERIFY(b.conn->exec(QStringLiteral("UPDATE melders SET uitmeld = 2, jaarmelder = ? WHERE id = ?"),
                                     {yearId, f.melder}));
            } else if (weekId) {
                QVERIFY(b.conn->exec(QStringLiteral("UPDATE melders SET weekmelder = ? WHERE id = ?"),
                                     {weekId, f.melder}));
            }
            QVERIFY(tx.commit());
        }

        f.sms.succeed = false; // only who is on duty counts here
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id = ?"), {f.jan}),
                 qint64(toJan));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id = ?"), {f.marieke}),
                 qint64(toMarieke));
        QCOMPARE(f.logText().contains(QStringLiteral("Weekrooster %1 bestaat niet").arg(weekId)), missingSchedule);

        // A change nobody counted is caught up with at the next quarter hour.
        if (!counted) {
            f.console.quarterHourTick();
            f.report({QStringLiteral("01")});
            f.console.showNewActueel();
            QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id = ?"), {f.jan}), 1);
        }
    }

    // The counter survives another program emptying its table: the row
    // comes back at a value no station has seen, so nobody misses a save.
    void anEmptiedCounterStillMovesOn()
    {
        test::ConsoleFixture f;
        const qint64 before = *changecounter::read(*f.conn, changecounter::kRoosters);
        QVERIFY(before > 0);
        QVERIFY(f.conn->exec(QStringLiteral("DELETE FROM wijzigteller")));
        QCOMPARE(*changecounter::read(*f.conn, changecounter::kRoosters), 0);
        QVERIFY(changecounter::bump(*f.conn, changecounter::kRoosters));
        QVERIFY(*changecounter::read(*f.conn, changecounter::kRoosters) >= before);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM wijzigteller")), 1);
    }

    // Which station sends an SMS follows the modems' own word, carried in
    // the heartbeats: a station leaves SMS to another only while that one
    // reports a ready modem; with no ready modem anywhere it tries its own.
    // Jan gets SMS and e-mail, Marieke SMS only. Fake SMS services stand in
    // for the modems: the SMS service reports any modem's state the same way.
    void smsGoesThroughAStationWhoseModemCanSend_data()
    {
        QTest::addColumn<QString>("aState"); // ready, down, silent (answers the health questions with a bare OK)
        QTest::addColumn<QString>("bState");
        QTest::addColumn<int>("smsByA");
        QTest::addColumn<int>("smsByB");

        QTest::newRow("A's modem down, B's ready") << "down" << "ready" << 0 << 2;
        QTest::newRow("A's modem back") << "ready" << "ready" << 2 << 0;
        QTest::newRow("no ready modem anywhere: A tries its own") << "down" << "down" << 2 << 0;
        QTest::newRow("A's modem reports no state, B's ready") << "silent" << "ready" << 0 << 2;
        QTest::newRow("a modem that reports no state is tried") << "silent" << "down" << 2 << 0;
    }
    void smsGoesThroughAStationWhoseModemCanSend()
    {
        QFETCH(QString, aState);
        QFETCH(QString, bState);
        QFETCH(int, smsByA);
        QFETCH(int, smsByB);
        test::ConsoleFixture f;
        Peer b(f, "station-b");
        Room room(f, b);

        const QString down = QStringLiteral("GSM-modem op COM 3: poort niet te openen (No such file or directory)");
        room.state(b.sms, bState);
        Q_EMIT f.sms.modemStateChanged(down, false); // it was down first in every case
        room.state(f.sms, aState);
        f.settle(); // the passes a modem's readiness asks for find nothing yet

        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        drain(f, f.console);
        drain(f, *b.console);
        // Later passes and the minute's work on both send nothing again.
        f.console.dispatchTick();
        b.console->dispatchTick();
        drain(f, f.console);
        drain(f, *b.console);

        QCOMPARE(smsTo(f.sms, kJan) + smsTo(f.sms, kMarieke), qsizetype(smsByA));
        QCOMPARE(smsTo(b.sms, kJan) + smsTo(b.sms, kMarieke), qsizetype(smsByB));
        QCOMPARE(smsTo(f.sms, kJan) + smsTo(b.sms, kJan), qsizetype(1));
        QCOMPARE(f.mails().size(), 1); // Jan's e-mail, queued once, by either
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"), {sql::boolValue(false)}), 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), 0);
        const QString log = f.logText();
        const bool bReady = bState == QLatin1String("ready");
        QCOMPARE(log.count(QStringLiteral("Station station-a verstuurt geen SMS-uitmeldingen")), bReady ? 1 : 0);
        QCOMPARE(log.count(QStringLiteral("Station station-a verstuurt weer SMS-uitmeldingen")),
                 bReady && aState == QLatin1String("ready") ? 1 : 0);
    }

    // A's modem says it is ready but refuses every message (no credit, a
    // wrong service centre). Its refusals count against its modem: after a
    // few in a row A leaves SMS to B, and what A failed to send goes from B
    // at once instead of pausing for the whole room.
    void aModemThatRefusesEverySendGivesWay()
    {
        test::ConsoleFixture f;
        Peer b(f, "station-b");
        Room room(f, b);
        room.state(b.sms, QStringLiteral("ready"));
        room.state(f.sms, QStringLiteral("ready"));
        f.settle();
        f.sms.succeed = false;

        f.report({QStringLiteral("01")});
        f.report({QStringLiteral("02")});
        f.console.showNewActueel();
        drain(f, f.console);
        QCOMPARE(f.sms.sent.size(), qsizetype(ModemStanding::kRefusalLimit));
        drain(f, *b.console);
        QCOMPARE(b.sms.sent.size(), qsizetype(4));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"), {sql::boolValue(false)}), 0);
        QString log = f.logText();
        QCOMPARE(log.count(QStringLiteral("weigerde 3 SMS-verzendingen na elkaar")), 1);
        QCOMPARE(log.count(QStringLiteral("Station station-a verstuurt geen SMS-uitmeldingen (de GSM-modem weigerde")), 1);

        // A check of the modem that succeeds lets A send again.
        room.state(f.sms, QStringLiteral("ready"));
        QCOMPARE(f.logText().count(QStringLiteral("Station station-a verstuurt weer SMS-uitmeldingen")), 1);
    }

    // A lone station tries SMS while its SIM still waits for the PIN; the
    // failed sends pause, but only until the modem is ready.
    void aPauseCausedByTheModemEndsWhenItIsReady()
    {
        test::ConsoleFixture f;
        addModemPort(f);
        f.console.getSmsSettings();
        f.sms.succeed = false;
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        drain(f, f.console);
        QCOMPARE(f.sms.sent.size(), qsizetype(2));
        Room::state(f.sms, QStringLiteral("down"));
        f.sms.succeed = true;
        Room::state(f.sms, QStringLiteral("ready")); // the clock has not moved
        f.settle();
        drain(f, f.console);
        QCOMPARE(f.sms.sent.size(), qsizetype(4));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"), {sql::boolValue(false)}), 0);
    }
};

QTEST_GUILESS_MAIN(TstSharedRoom)
#include "tst_sharedroom.moc"
