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
    bool restartListening() override
    {
        ++restarts;
        return takesBack;
    }
    void closeAll() override {}
    bool portOpen() override { return open; }
    bool isIdle() override { return true; }
    bool open = true, releases = true, takesBack = true;
    int stops = 0, restarts = 0;
};
} // namespace

// Sending one SMS: the console waits for the service without freezing, lets
// a receiver on the same port go and take it back, and gives up on time.
class TstSmsWait : public QObject
{
    Q_OBJECT

    // The SMS modem on COM 3, where a receiver may listen as well.
    static bool smsModemOnCom3(test::ConsoleFixture& f)
    {
        const bool stored = f.conn->exec(QStringLiteral("INSERT INTO comports (number, designation, baudrate, string, "
                                                        "timeout, databits, parity, stopbits, is_gsm) VALUES "
                                                        "(3, 2, 9600, 'AT', 1, 8, 'N', 1, true)")).ok();
        f.console.getSmsSettings();
        return stored;
    }

private Q_SLOTS:
    void sharedPort_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("releases");
        QTest::addColumn<bool>("takesBack");
        QTest::addColumn<int>("stops");
        QTest::addColumn<int>("restarts");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("result");
        QTest::newRow("port open, released") << true << true << true << 1 << 1 << true << true;
        QTest::newRow("port closed: not stopped, still restarted") << false << true << true << 0 << 1 << true << true;
        QTest::newRow("receiver refuses: nothing sent") << true << false << true << 1 << 0 << false << false;
        // The modem's answer decides; the port has a retry of its own.
        QTest::newRow("port not taken back: still sent") << true << true << false << 1 << 1 << true << true;
    }

    void sharedPort()
    {
        QFETCH(bool, open);
        QFETCH(bool, releases);
        QFETCH(bool, takesBack);
        QFETCH(int, stops);
        QFETCH(int, restarts);
        QFETCH(bool, sent);
        QFETCH(bool, result);
        test::ConsoleFixture f;
        QVERIFY(smsModemOnCom3(f));
        FakeReceiver other, shared;
        shared.open = open;
        shared.releases = releases;
        shared.takesBack = takesBack;
        f.console.setPortReceivers({{1, &other}, {3, &shared}});
        QCOMPARE(f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                   QStringLiteral("tekst")).result == SmsAttempt::Result::Sent,
                 result);
        QCOMPARE(f.logText().contains(
                     QStringLiteral("COM 3 kon na het verzenden van de SMS niet worden teruggenomen.")),
                 !takesBack);
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

    // "Herinitialiseer poorten" while the SMS waits for its modem replaces
    // the receivers: the one that let the port go is gone, and the port goes
    // back to whoever listens on it now.
    void receiversReplacedDuringTheWait_data()
    {
        QTest::addColumn<bool>("replacementOnPort");
        QTest::addColumn<bool>("replacementTakesBack");
        QTest::addColumn<bool>("result");
        QTest::newRow("new receiver on the port") << true << true << true;
        QTest::newRow("new receiver cannot take it") << true << false << true;
        QTest::newRow("port no longer a receiving port") << false << true << true;
    }
    void receiversReplacedDuringTheWait()
    {
        QFETCH(bool, replacementOnPort);
        QFETCH(bool, replacementTakesBack);
        QFETCH(bool, result);
        test::ConsoleFixture f;
        QVERIFY(smsModemOnCom3(f));
        auto* old = new FakeReceiver;
        FakeReceiver replacement;
        replacement.takesBack = replacementTakesBack;
        f.console.setPortReceivers({{3, old}});
        f.sms.answer = false;
        QTimer::singleShot(20, &f.console, [&] {
            delete old; // what re-initialising the ports does to the old receivers
            f.console.setPortReceivers({{replacementOnPort ? 3 : 4, &replacement}});
            f.sms.endRunning(true);
        });
        QCOMPARE(f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                   QStringLiteral("x")).result == SmsAttempt::Result::Sent,
                 result);
        QCOMPARE(replacement.restarts, replacementOnPort ? 1 : 0);
        QVERIFY(!f.console.smsBusy());
    }

    // An SMS the modem sent stays sent when the receiver does not take its
    // port back: the dispatch is recorded once and not sent again, and the
    // port is offered to the receiver again on its own until it takes it.
    void portNotTakenBackIsRetriedOnItsOwn()
    {
        test::ConsoleFixture f;
        QVERIFY(smsModemOnCom3(f));
        FakeReceiver shared;
        shared.takesBack = false;
        f.console.setPortReceivers({{3, &shared}});
        f.console.setPortBackRetryMsecs(50);
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        const qsizetype sent = f.sms.sent.size(); // Jan's and Marieke's
        QCOMPARE(sent, 2);
        QCOMPARE(f.number(QStringLiteral("SELECT SUM(pogingen) FROM uitmeld")), sent);
        QTRY_VERIFY(shared.restarts >= 3);
        f.clock.advanceSecs(120);
        f.console.dispatchTick();
        f.settle();
        QCOMPARE(f.sms.sent.size(), sent);

        shared.takesBack = true;
        QTRY_VERIFY(f.logText().contains(QStringLiteral("COM 3 is weer teruggenomen door de ontvanger.")));
        const int restarts = shared.restarts;
        QTest::qWait(200);
        QCOMPARE(shared.restarts, restarts);
        QCOMPARE(f.logText().count(QStringLiteral("COM 3 kon na het verzenden van de SMS niet worden teruggenomen.")), 1);
    }

    void silentServiceTimesOut()
    {
        test::ConsoleFixture f;
        f.sms.answer = false;
        f.sms.timeoutMinutes = 0;
        f.sms.succeed = false;
        // Not over: the service may still send it, so it is not "not sent" either.
        QCOMPARE(f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                   QStringLiteral("x")).result,
                 SmsAttempt::Result::Running);
        QCOMPARE(f.sms.finishCalls, 1);
        QVERIFY(f.logText().contains(
            QStringLiteral("Timeout opgetreden bij het verzenden van de SMS.")));
    }

    // The modem answers while the console still asks the service for its
    // time-out: the wait must see that answer, not sit out the whole limit.
    void quickAnswerEndsTheWaitAtOnce()
    {
        test::ConsoleFixture f;
        f.sms.answerDelayMsecs = 20;
        f.sms.timeoutQuestionMsecs = 200;
        QElapsedTimer took;
        took.start();
        QCOMPARE(f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"), QStringLiteral("x")).result,
                 SmsAttempt::Result::Sent);
        QVERIFY2(took.elapsed() < 10000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(!f.logText().contains(QStringLiteral("Timeout opgetreden")));
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
                f.sms.endRunning(true);
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
        QVERIFY(f.console.sendSMS(QStringLiteral("+31600000000"), QStringLiteral("Jan"),
                                  QStringLiteral("x")).result != SmsAttempt::Result::Sent);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(f.sms.finishCalls, 0);
    }
};

QTEST_GUILESS_MAIN(TstSmsWait)
#include "tst_smswait.moc"
