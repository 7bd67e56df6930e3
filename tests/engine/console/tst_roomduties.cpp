#include "ConsoleFixture.h"
#include "Workstation.h"

#include <QTest>

using namespace taviro;

// Two workstations on one database, their minute timers late, doubled or
// skipped: the room re-arms once per quarter-hour mark, whoever looks, and
// a mark the timers slept through is made up for, once.
class TstRoomDuties : public QObject
{
    Q_OBJECT

    static qsizetype smsTo(const test::FakeSmsService& sms, const QString& number)
    {
        return std::count_if(sms.sent.cbegin(), sms.sent.cend(),
                             [&](const SmsRequest& r) { return r.mobileNumber == number; });
    }

private Q_SLOTS:
    void repetitionOncePerMark_data()
    {
        QTest::addColumn<QTime>("reportAt");
        QTest::addColumn<QString>("ticks"); // "A@hh:mm:ss": whose minute timer fires when
        QTest::addColumn<int>("janSms");
        const QTime quarterPast(10, 15);
        QTest::newRow("two workstations at one mark")
            << quarterPast << "A@10:30:10 B@10:30:50 A@10:31:10 B@10:31:50" << 2;
        QTest::newRow("the mark's minute skipped") << quarterPast << "A@10:29:40 B@10:31:30" << 2;
        QTest::newRow("one timer fires twice in the mark's minute") << quarterPast << "A@10:30:05 A@10:30:55" << 2;
        QTest::newRow("a whole quarter late") << quarterPast << "B@10:45:30 A@10:46:00" << 2;
        QTest::newRow("sent after the mark, re-armed late") << QTime(10, 31) << "A@10:32:00 B@10:44:59" << 1;
        QTest::newRow("every quarter until the attempts are spent")
            << quarterPast << "A@10:30:00 B@10:45:00 A@11:00:00 B@11:15:00 A@11:30:00" << 3;
    }
    void repetitionOncePerMark()
    {
        QFETCH(QTime, reportAt);
        QFETCH(QString, ticks);
        QFETCH(int, janSms);
        test::ConsoleFixture f;
        ConnectorPtr otherConn = f.db.connect();
        test::FakeSmsService otherSms;
        test::FakeMailSender otherMail;
        Console other(*otherConn, f.clock, f.log, otherSms, otherMail);
        other.setWorkstation(Workstation::starting(QStringLiteral("tweede"), Workstation::stationKind()));
        other.setSmsSettleMsecs(0);
        QVERIFY(other.loadPlanningCache());

        f.clock.set(QDateTime(f.clock.now().date(), reportAt));
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        for (const QString& tick : ticks.split(QLatin1Char(' '))) {
            Console& at = tick.startsWith(QLatin1Char('A')) ? f.console : other;
            f.clock.set(QDateTime(f.clock.now().date(), QTime::fromString(tick.mid(2), QStringLiteral("HH:mm:ss"))));
            at.minuteTick();
            at.dispatchTick();
            f.settle();
        }
        const QString jan = QStringLiteral("+31612345678");
        QCOMPARE(smsTo(f.sms, jan) + smsTo(otherSms, jan), qsizetype(janSms));
    }
};

QTEST_GUILESS_MAIN(TstRoomDuties)
#include "tst_roomduties.moc"
