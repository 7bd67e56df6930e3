#include "ConsoleFixture.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace taviro;

namespace {
class FakeReceiver final : public CommReceiver
{
    Q_OBJECT
public:
    using CommReceiver::CommReceiver;
    bool startUp(const SerialLine&) override { return true; }
    bool stopListening() override
    {
        ++stops;
        return releases;
    }
    void restartListening() override { ++restarts; }
    void closeAll() override {}
    bool portOpen() override { return open; }
    bool isIdle() override { return true; }
    bool open = true, releases = true;
    int stops = 0, restarts = 0;
};
} // namespace

// Sending one SMS: the console waits for the service without freezing, lets
// a receiver on the same port go and take it back, and gives up on time.
class TstSmsWait : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sharedPort_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("releases");
        QTest::addColumn<int>("stops");
        QTest::addColumn<int>("restarts");
        QTest::addColumn<bool>("sent");
        QTest::newRow("port open, released") << true << true << 1 << 1 << true;
        QTest::newRow("port closed: not stopped, still restarted")
            << false << true << 0 << 1 << true;
        QTest::newRow("receiver refuses: nothing sent") << true << false << 1 << 0 << false;
    }

    void sharedPort()
    {
        QFETCH(bool, open);
        QFETCH(bool, releases);
        QFETCH(int, stops);
        QFETCH(int, restarts);
        QFETCH(bool, sent);
        test::ConsoleFixture f;
        QVERIFY(f.conn->exec(QStringLiteral(
            "INSERT INTO comports (number, designation, baudrate, string, timeout, "
            "databits, parity, stopbits, is_gsm) VALUES (3, 2, 9600, 'AT', 1, 8, 'N', 1, true)")));
        f.console.getSmsSettings();
        FakeReceiver other, shared;
        shared.open = open;
        shared.releases = releases;
        f.console.setPortReceivers({{1, &other}, {3, &shared}});
        QCOMPARE(f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                   QStringLiteral("tekst")),
                 sent);
        QCOMPARE(shared.stops, stops);
        QCOMPARE(shared.restarts, restarts);
        QCOMPARE(other.stops + other.restarts, 0);
        QCOMPARE(f.sms.sent.size(), sent ? 1 : 0);
        QVERIFY(!f.console.smsBusy());
        if (sent) {
            QCOMPARE(f.sms.sent[0].line.number, 3);
            QCOMPARE(f.sms.sent[0].isGsm, true);
            QCOMPARE(f.sms.sent[0].sender, QStringLiteral("0000000000"));
        }
    }

    void silentServiceTimesOut()
    {
        test::ConsoleFixture f;
        f.sms.answer = false;
        f.sms.timeoutMinutes = 0;
        f.sms.succeed = false;
        QVERIFY(!f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                   QStringLiteral("x")));
        QCOMPARE(f.sms.finishCalls, 1);
        QVERIFY(f.logText().contains(
            QStringLiteral("Timeout opgetreden bij het verzenden van de SMS.")));
    }

    void waitKeepsTheLoopRunningWithoutNesting()
    {
        test::ConsoleFixture f;
        f.report({QStringLiteral("01")});
        f.sms.answer = false;
        f.sms.timeoutMinutes = 1;
        bool busySeen = false;
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &f.console, [&] {
            busySeen = busySeen || f.console.smsBusy();
            f.console.dispatchTick(); // must not start a second send
            if (++ticks == 5)
                Q_EMIT f.sms.meldingReady();
        });
        tick.start(5);
        QElapsedTimer clock;
        clock.start();
        f.console.showNewActueel();
        tick.stop();
        QVERIFY(busySeen);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(f.sms.sent.size(), 1);
    }

    void shuttingDownEndsTheWait()
    {
        test::ConsoleFixture f;
        f.sms.answer = false;
        QTimer::singleShot(20, &f.console, [&] { f.console.setShuttingDown(true); });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                   QStringLiteral("x")));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(f.sms.finishCalls, 0);
    }
};

QTEST_GUILESS_MAIN(TstSmsWait)
#include "tst_smswait.moc"
