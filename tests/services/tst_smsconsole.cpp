// The console's SMS path with the real services on one fake modem: a
// dispatch the engine creates goes out as an SMS, the recipient's "OK"
// acknowledges it so it is not repeated, and a receiver sharing the modem's
// port lets go of it for the send and takes it back afterwards.

#include "ChildProcess.h"
#include "Console.h"
#include "EscalationSettings.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeModem.h"
#include "FakeServices.h"
#include "Installation.h"
#include "ReceiverProxies.h"
#include "SmsServiceProxy.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "TransmitterReport.h"

#include <QTest>

#include <memory>

using namespace taviro;

namespace {
constexpr int Com = 6;
}

class TestSmsConsole : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    ConnectorPtr m_conn;
    std::unique_ptr<test::FakeModem> m_modem;
    std::unique_ptr<test::FakeClock> m_clock;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<SmsServiceProxy> m_sms;
    std::unique_ptr<test::FakeMailSender> m_mail;
    std::unique_ptr<Console> m_console;
    qint64 m_jan = 0;

    ServiceClient::Options options(const QString& program) const
    {
        auto o = ServiceClient::Options::forService(program, test::binDir(), m_db->settings());
        o.callTimeoutMs = 20000;
        o.extraEnvironment = {QStringLiteral("TAVIRO_COM%1=%2").arg(Com).arg(m_modem->devicePath()),
                              QStringLiteral("TAVIRO_SMS_COMMAND_MS=1500"),
                              QStringLiteral("TAVIRO_SMS_POLL_MS=600000"),
                              QStringLiteral("TAVIRO_COMM_COMMAND_MS=1500"),
                              QStringLiteral("TAVIRO_COMM_GUARD_MS=50")};
        return o;
    }

    // The receiving modem is configured on the SMS port as well, as an
    // installation with one modem for both has it.
    void shareThePort()
    {
        QVERIFY(m_conn->exec(QStringLiteral("INSERT INTO comports (number, designation, baudrate, string, timeout, "
                                            "databits, parity, stopbits, is_gsm) VALUES (?, 1, 9600, 'AT&FE0', 15, 8, "
                                            "'N', 1, ?)"),
                             {Com, sql::boolValue(true)}));
        // The service's first look at the modem, from before the port was shared, is over.
        QVERIFY(QTest::qWaitFor([this] { return m_modem->commands().contains("AT+CMGL=4"); }, 10000));
        m_console->getSmsSettings();
        QTest::qWait(300);
    }

    qint64 number(const QString& sql, const QVariantList& binds = {}) const
    {
        auto v = m_conn->scalar(sql, binds);
        return v ? sql::toLong(*v) : -1;
    }

    // Transmitter 1001 reports "Inbraak hal"; the console takes it in and its SMS goes out.
    void alarmGoesOut()
    {
        ReceivedReport r;
        r.melderAlias = QStringLiteral("1001");
        r.receivedAt = m_clock->now();
        r.lines.append({QStringLiteral("01"), QStringLiteral("Inbraak hal"), 1, {}, {}, {}});
        QVERIFY(SqlReportStore(*m_conn).store(r));
        m_console->showNewActueel();
        QVERIFY(QTest::qWaitFor([this] { return m_modem->submitted().size() == 1; }, 20000));
        QVERIFY(QTest::qWaitFor([this] { return !m_console->smsBusy(); }, 10000));
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_conn = m_db->connect();
        m_modem = std::make_unique<test::FakeModem>();
        QVERIFY(m_modem->ok());
        test::Installation inst(*m_conn);
        m_jan = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"), {},
                               true, false);
        WeekPlanning w = inst.weekTemplate(QStringLiteral("STD"));
        for (int day = 0; day < 7; ++day)
            for (int block = 0; block < 3; ++block)
                w.cells[WeekPlanning::cellIndex(0, day, block)] = m_jan;
        const qint64 week = inst.week(w);
        const qint64 melder =
            inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor Centrum"), 1, week, 0);
        inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak hal"));
        inst.settings([](Settings& s) { s.maxpogingen = 3; });
        QVERIFY2(inst.ok(), qPrintable(inst.error()));
        QVERIFY(m_conn->exec(
            QStringLiteral(
                "INSERT INTO comports (number, designation, baudrate, string, timeout, databits, "
                "parity, stopbits, is_gsm) VALUES (?, 2, 9600, 'AT&FE0', 15, 8, 'N', 1, ?)"),
            {Com, sql::boolValue(true)}));

        m_clock = std::make_unique<test::FakeClock>();
        m_log = std::make_unique<EventLog>(*m_clock, m_db->folder() + QStringLiteral("/Logger/"));
        m_sms = std::make_unique<SmsServiceProxy>(options(QStringLiteral("TaviroSmsService")));
        m_mail = std::make_unique<test::FakeMailSender>();
        m_console = std::make_unique<Console>(*m_conn, *m_clock, *m_log, *m_sms, *m_mail);
        m_console->setSmsSettleMsecs(0);
        QVERIFY(m_console->loadPlanningCache());
        m_console->getSmsSettings();
    }

    void cleanup()
    {
        m_console.reset();
        m_mail.reset();
        m_sms.reset();
        m_log.reset();
        m_modem.reset();
        m_conn.reset();
        m_db.reset();
    }

    void dispatchGoesOutAndReplyEndsRepetition()
    {
        alarmGoesOut();
        QVERIFY(m_modem->submitted().first().body.contains("Inbraak hal"));
        const QString done = QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id = ? "
                                            "AND done <> 0 AND uitmeldtype = 1 AND pogingen = 1");
        QCOMPARE(number(done, {m_jan}), 1);

        m_modem->addIncoming(QStringLiteral("0612345678"), QStringLiteral("OK"));
        m_sms->client().call(QStringLiteral("poll"));
        QVERIFY(QTest::qWaitFor(
            [this] {
                return number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 2 "
                                             "AND bevestiger = ?"),
                              {m_jan}) == 1;
            },
            10000));
        // The quarter-hour re-arming passes the acknowledged dispatch by.
        m_console->quarterHourTick();
        QCOMPARE(number(done, {m_jan}), 1);
    }

    void replyWaitingAtStartIsRead()
    {
        // Jan answered a dispatch while no console ran.
        QVERIFY(m_conn->insert(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, "
                                              "bevestiger, bevestigtype) VALUES (?, 1, ?, 1, 0, 0)"),
                               {m_jan, sql::boolValue(true)}));
        m_modem->addIncoming(QStringLiteral("0612345678"), QStringLiteral("OK"));
        m_console->getSmsSettings(); // as at every start of the console
        QVERIFY(QTest::qWaitFor(
            [this] {
                return number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 2 AND bevestiger = ?"),
                              {m_jan}) == 1;
            },
            20000));
        QVERIFY(m_modem->submitted().isEmpty());
    }

    void quarterHourReadsRepliesBeforeRearming()
    {
        shareThePort();
        CommReceiverProxy receiver(options(QStringLiteral("TaviroComm")));
        QVERIFY(receiver.startUp({Com, 9600, QStringLiteral("AT&FE0"), 2, 8, QStringLiteral("N"), 1}));
        m_console->setPortReceivers({{Com, &receiver}});
        alarmGoesOut();

        // The receiver holds the port: the reply waits until the console lends it.
        m_modem->addIncoming(QStringLiteral("0612345678"), QStringLiteral("OK"));
        m_console->quarterHourTick();
        QCOMPARE(number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 2 AND bevestiger = ?"), {m_jan}),
                 1);
        QCOMPARE(number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done <> 0 AND uitmeldtype = 1"), {}), 1);
        QCOMPARE(m_modem->storedCount(), 0);
        QVERIFY(receiver.portOpen());
        m_console->setPortReceivers({});
        receiver.closeAll();
    }

    void sharedPortIsReleasedAroundTheSend()
    {
        shareThePort();
        CommReceiverProxy receiver(options(QStringLiteral("TaviroComm")));
        QVERIFY(
            receiver.startUp({Com, 9600, QStringLiteral("AT&FE0"), 2, 8, QStringLiteral("N"), 1}));
        QVERIFY(receiver.portOpen());
        m_console->setPortReceivers({{Com, &receiver}});
        QCOMPARE(m_console->sendSMS(QStringLiteral("+31612345678"), QStringLiteral("Jan de Vries"),
                                    QStringLiteral("Proef")).result,
                 SmsAttempt::Result::Sent);
        QCOMPARE(m_modem->submitted().size(), 1);
        QVERIFY(receiver.portOpen());

        // The receiver has its port back: a transmitter's call reaches the console's list.
        QList<QByteArray> call{"MELDER 1001;1", "ALARM 01;Op;Inbraak hal"};
        call.append("EINDE " + QByteArray::number(comm::reportChecksum(call), 16).rightJustified(4, '0'));
        m_modem->call(call);
        QVERIFY(QTest::qWaitFor([this] { return m_modem->callOver(); }, 15000));
        QList<ActueelItem> listed;
        QVERIFY(QTest::qWaitFor([&] { return !(listed += m_console->showNewActueel()).isEmpty(); }, 10000));
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().naam, QStringLiteral("Kantoor Centrum"));
        m_console->setPortReceivers({});
        receiver.closeAll();
    }

    // Jan never answers: after the set minutes the alarm goes to Piet of the
    // escalation schedule, saying who did not answer; Piet's "OK" settles
    // the report for both, so the quarter hour repeats neither.
    void unansweredAlarmEscalatesAndAnOkEndsAll()
    {
        test::Installation inst(*m_conn);
        const qint64 piet = inst.recipient(QStringLiteral("Piet Achterwacht"), QStringLiteral("+31634567890"), {},
                                           true, false);
        WeekPlanning w = inst.weekTemplate(QStringLiteral("ACHTER"));
        for (int day = 0; day < 7; ++day)
            for (int block = 0; block < 3; ++block)
                w.cells[WeekPlanning::cellIndex(0, day, block)] = piet;
        const qint64 achter = inst.week(w);
        QVERIFY2(inst.ok(), qPrintable(inst.error()));
        QVERIFY(escalation::save(*m_conn, {5, achter, 0, false, false}));
        QVERIFY(m_console->loadPlanningCache());

        alarmGoesOut();

        m_clock->advanceSecs(4 * 60);
        m_console->dispatchTick();
        QTest::qWait(200);
        QCOMPARE(m_modem->submitted().size(), 1);
        m_clock->advanceSecs(60);
        m_console->dispatchTick();
        // The escalation line is a piece of its own: two messages to Piet.
        QVERIFY(QTest::qWaitFor([this] { return m_modem->submitted().size() == 3; }, 20000));
        QVERIFY(QTest::qWaitFor([this] { return !m_console->smsBusy(); }, 10000));
        const auto first = m_modem->submitted().at(1);
        QVERIFY2(first.command.contains("31634567890"), first.command.constData());
        QVERIFY2(first.body.startsWith("ESCALATIE: niet bevestigd door Jan de Vries"), first.body.constData());
        QVERIFY(m_modem->submitted().at(2).body.contains("Inbraak hal"));

        m_modem->addIncoming(QStringLiteral("0634567890"), QStringLiteral("OK"));
        m_sms->client().call(QStringLiteral("poll"));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 2 AND bevestiger = ?"),
                              {piet}) == 2;
            },
            10000));
        m_console->quarterHourTick();
        m_clock->advanceSecs(15 * 60);
        m_console->dispatchTick();
        m_console->quarterHourTick();
        QTest::qWait(500);
        QCOMPARE(m_modem->submitted().size(), 3);
        QCOMPARE(number(QStringLiteral("SELECT COUNT(*) FROM escalatie")), 1);
    }
};

QTEST_GUILESS_MAIN(TestSmsConsole)
#include "tst_smsconsole.moc"
