// Intake under the room's manned state: what a console or a station stamps,
// what a station leaves to a manned console, and a console beside a station
// that leaves the sending to it.
#include "ConsoleFixture.h"

#include <QTest>

using namespace taviro;

class TestRoomIntake : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void intakeFollowsTheRoom_data()
    {
        QTest::addColumn<bool>("consoleBemand");
        QTest::addColumn<bool>("roomManned");
        QTest::addColumn<bool>("station");
        QTest::addColumn<bool>("sending");
        QTest::addColumn<int>("seen");
        QTest::addColumn<int>("stamped");
        QTest::addColumn<bool>("forwarded"); // an SMS went out
        QTest::newRow("unmanned console, manned room") << false << true << false << true << 1 << 1 << false;
        QTest::newRow("manned console, unmanned room") << true << false << false << true << 1 << 1 << false;
        QTest::newRow("nobody mans anything") << false << false << false << true << 1 << 0 << true;
        QTest::newRow("station while a console mans the room") << false << true << true << true << 0 << 0 << false;
        QTest::newRow("station in an unmanned room") << false << false << true << true << 1 << 0 << true;
        QTest::newRow("console beside a station") << false << false << false << false << 1 << 0 << false;
    }

    void intakeFollowsTheRoom()
    {
        QFETCH(bool, consoleBemand);
        QFETCH(bool, roomManned);
        QFETCH(bool, station);
        QFETCH(bool, sending);
        QFETCH(int, seen);
        QFETCH(int, stamped);
        QFETCH(bool, forwarded);
        test::ConsoleFixture f;
        f.console.setBemand(consoleBemand);
        f.console.setRoomState([roomManned] { return roomManned; });
        f.console.setIntakeOnlyWhenUnmanned(station);
        f.console.setSending(sending);
        f.console.getSmsSettings();
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        QCOMPARE(f.number(QStringLiteral("SELECT seen FROM meldingen")), seen);
        QCOMPARE(f.number(QStringLiteral("SELECT bemand FROM meldingen")), stamped);
        QCOMPARE(!f.sms.sent.isEmpty(), forwarded);
    }

    void aWaitingReportIsTakenInOnceTheRoomEmpties()
    {
        test::ConsoleFixture f;
        bool manned = true;
        f.console.setRoomState([&manned] { return manned; });
        f.console.setIntakeOnlyWhenUnmanned(true);
        f.report({QStringLiteral("01")});
        QVERIFY(f.console.showNewActueel().isEmpty());
        manned = false;
        QCOMPARE(f.console.showNewActueel().size(), 1);
        f.settle();
        QCOMPARE(f.number(QStringLiteral("SELECT bemand FROM meldingen")), 0);
        QVERIFY(!f.sms.sent.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRoomIntake)
#include "tst_roomintake.moc"
