// The installer's chain tests as he runs them: the "Test-SMS" and
// "Test-e-mail" buttons of the recipient editor, through the console's real
// SMS and mail services, against a fake modem and a real SMTP server. The
// message box must carry the modem's or the mail server's own reason, and a
// test message must never become a report or a dispatch.

#include "ChildProcess.h"
#include "Console.h"
#include "EditorContext.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeModem.h"
#include "ServiceProxies.h"
#include "OntvangerPanel.h"
#include "ScheduleCache.h"
#include "ScriptedPrompt.h"
#include "ServiceTestSupport.h"
#include "SmsServiceProxy.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QAbstractButton>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace taviro;

namespace {
constexpr int Com = 7;
}

class TestChainTests : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    ConnectorPtr m_conn;
    std::unique_ptr<test::FakeModem> m_modem;
    test::FakeClock m_clock;
    std::unique_ptr<test::ScriptedPrompt> m_prompt;
    std::unique_ptr<EventLog> m_log;
    ScheduleCache m_cache;
    std::unique_ptr<SmsServiceProxy> m_sms;
    std::unique_ptr<QTemporaryDir> m_queue;
    std::unique_ptr<MailSenderProxy> m_mail;
    std::unique_ptr<Console> m_console;
    std::unique_ptr<EditorContext> m_ctx;
    std::unique_ptr<OntvangerPanel> m_panel;

    ServiceClient::Options smsOptions() const
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroSmsService"), test::binDir(),
                                                    m_db->settings());
        o.callTimeoutMs = 20000;
        o.extraEnvironment = {QStringLiteral("TAVIRO_COM%1=%2").arg(Com).arg(m_modem->devicePath()),
                              QStringLiteral("TAVIRO_SMS_COMMAND_MS=1500"),
                              QStringLiteral("TAVIRO_SMS_POLL_MS=600000")};
        return o;
    }

    ServiceClient::Options mailOptions() const
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroMailSender"), test::binDir(),
                                                    m_db->settings());
        o.callTimeoutMs = 15000;
        o.extraEnvironment = {QStringLiteral("TAVIRO_MAIL_QUEUE=") + m_queue->path()};
        return o;
    }

    void setMailServer(quint16 port)
    {
        QVERIFY(m_conn->exec(QStringLiteral("UPDATE settings SET mailserver = ?, \"MailServerPort\" = ?, "
                                            "mailfrommail = ?, authentification = 0"),
                             {QStringLiteral("127.0.0.1"), port, QStringLiteral("meldkamer@taviro.test")}));
    }

    int queued() const
    {
        return int(QDir(m_queue->path()).entryList({QStringLiteral("*.json")}, QDir::Files).size());
    }

    qint64 count(const char* table) const
    {
        auto v = m_conn->scalar(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table)));
        return v ? sql::toLong(*v) : -1;
    }

    void press(const char* button)
    {
        auto* b = m_panel->findChild<QAbstractButton*>(QLatin1String(button));
        QVERIFY(b);
        QVERIFY(b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
    }

    void typeNumber(const QString& number)
    {
        auto* box = m_panel->findChild<QLineEdit*>(QStringLiteral("txtmobielnr"));
        QVERIFY(box);
        box->setText(number);
    }

    QString lastBox() const { return m_prompt->asked().isEmpty() ? QString() : m_prompt->asked().last().text; }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY2(m_db->ok(), qPrintable(m_db->error()));
        m_conn = m_db->connect();
        m_modem = std::make_unique<test::FakeModem>();
        QVERIFY(m_modem->ok());
        QVERIFY(m_conn->exec(
            QStringLiteral("INSERT INTO comports (number, designation, baudrate, string, timeout, databits, "
                           "parity, stopbits, is_gsm) VALUES (?, 2, 9600, 'AT&FE0', 15, 8, 'N', 1, ?)"),
            {Com, sql::boolValue(true)}));
        m_prompt = std::make_unique<test::ScriptedPrompt>();
        m_log = std::make_unique<EventLog>(m_clock, m_db->folder() + QStringLiteral("/Logger/"));
        m_sms = std::make_unique<SmsServiceProxy>(smsOptions());
        m_queue = std::make_unique<QTemporaryDir>();
        m_mail = std::make_unique<MailSenderProxy>(mailOptions());
        m_console = std::make_unique<Console>(*m_conn, m_clock, *m_log, *m_sms, *m_mail);
        m_console->setSmsSettleMsecs(0);
        m_console->getSmsSettings();
        m_ctx = std::make_unique<EditorContext>(EditorContext{
            *m_conn, *m_prompt, *m_log, m_clock, m_cache, {}, {},
            [this](const QString& number, const QString& naam) { return m_console->sendTestSms(number, naam); },
            [this](const QString& addresses, const QString& naam) { return m_console->sendTestMail(addresses, naam); },
            {}, {}, {}});
        m_panel = std::make_unique<OntvangerPanel>(*m_ctx);
        m_panel->show();
        m_panel->findChild<QLineEdit*>(QStringLiteral("txtnaam"))->setText(QStringLiteral("Jan de Vries"));
    }

    void cleanup()
    {
        m_panel.reset();
        m_ctx.reset();
        m_console.reset();
        m_mail.reset();
        m_queue.reset();
        m_sms.reset();
        m_log.reset();
        m_modem.reset();
        m_conn.reset();
        m_db.reset();
    }

    void testSmsShowsTheModemsAnswer_data()
    {
        QTest::addColumn<QByteArray>("refusal");
        QTest::addColumn<QString>("shown");
        QTest::newRow("accepted") << QByteArray() << QStringLiteral("Test-SMS aan +31612345678 is verzonden.");
        QTest::newRow("unknown centre") << QByteArray("+CMS ERROR: 330")
                                        << QStringLiteral("+CMS ERROR: 330 (nummer van de berichtencentrale onbekend");
        QTest::newRow("no SIM") << QByteArray("+CME ERROR: 10") << QStringLiteral("+CME ERROR: 10");
    }

    void testSmsShowsTheModemsAnswer()
    {
        QFETCH(QByteArray, refusal);
        QFETCH(QString, shown);
        m_modem->setSubmitRefusal(refusal);
        typeNumber(QStringLiteral("+31612345678"));
        press("testSmsButton");
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY2(lastBox().contains(shown), qPrintable(lastBox()));
        QCOMPARE(lastBox().contains(QStringLiteral("niet verzonden")), !refusal.isEmpty());
        if (refusal.isEmpty()) {
            QCOMPARE(m_modem->submitted().size(), 1);
            QVERIFY(m_modem->submitted().first().body.contains("geen alarm"));
        }
        // A test message is no alarm: nothing to list, repeat or acknowledge.
        QCOMPARE(count("meldingen"), 0);
        QCOMPARE(count("uitmeld"), 0);
        QVERIFY(!m_console->smsBusy());
    }

    void secondPressWhileWaitingSendsNothing()
    {
        // The network takes its time: the operator presses again meanwhile.
        m_modem->setSubmitDelayMs(1500);
        typeNumber(QStringLiteral("+31612345678"));
        auto* button = m_panel->findChild<QAbstractButton*>(QStringLiteral("testSmsButton"));
        bool offWhileWaiting = false;
        QTimer::singleShot(700, this, [&] {
            offWhileWaiting = !button->isEnabled();
            button->click();
            m_console->sendTestSms(QStringLiteral("+31687654321"), QStringLiteral("Piet"));
        });
        press("testSmsButton");
        QVERIFY(offWhileWaiting);
        QVERIFY(button->isEnabled());
        QCOMPARE(m_modem->submitted().size(), 1);
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY2(lastBox().endsWith(QStringLiteral("is verzonden.")), qPrintable(lastBox()));
    }

    void noNumberSendsNothing()
    {
        typeNumber(QStringLiteral("   "));
        press("testSmsButton");
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY(lastBox().contains(QStringLiteral("geen mobiel nummer")));
        QTest::qWait(300);
        QVERIFY(m_modem->submitted().isEmpty());
    }

    void testEmailShowsTheServersAnswer_data()
    {
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<int>("delivered");
        QTest::addColumn<QString>("shown");
        QTest::newRow("accepted") << QStringLiteral("jan@example.nl") << 1
                                  << QStringLiteral("Test-e-mail aan jan@example.nl is verzonden.");
        QTest::newRow("refused") << QStringLiteral("weg@example.nl") << 0
                                 << QStringLiteral("niet verzonden:\n550 5.1.1 mailbox unknown");
        // One address of two refused: the box names which one, and the other is delivered.
        QTest::newRow("one of two") << QStringLiteral("jan@example.nl\nweg@example.nl") << 1
                                    << QStringLiteral("weg@example.nl: 550 5.1.1 mailbox unknown");
    }

    void testEmailShowsTheServersAnswer()
    {
        QFETCH(QString, addresses);
        QFETCH(int, delivered);
        QFETCH(QString, shown);
        test::SmtpTestServer smtp;
        test::SmtpTestServer::Options refusing;
        refusing.refuse = QStringLiteral("weg@");
        QVERIFY(smtp.start(refusing));
        setMailServer(smtp.port());
        m_panel->findChild<QPlainTextEdit*>(QStringLiteral("txtemail"))->setPlainText(addresses);
        press("testEmailButton");
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY2(lastBox().contains(shown), qPrintable(lastBox()));
        if (delivered > 0) {
            QVERIFY(smtp.waitForMessages(delivered, 5000));
            QVERIFY(smtp.messages().first().value(QStringLiteral("body")).toString().contains(
                QStringLiteral("geen alarm")));
        }
        QCOMPARE(smtp.messages().size(), delivered);
        // Beside the queue: a refused test is not tried again later.
        QCOMPARE(queued(), 0);
        QCOMPARE(count("meldingen"), 0);
        QCOMPARE(count("uitmeld"), 0);
    }

    void testEmailWithoutServerSaysWhy()
    {
        // Nobody listens on the mail server's port: the connection error is shown, in bounded time.
        setMailServer(test::freeLoopbackPort());
        m_panel->findChild<QPlainTextEdit*>(QStringLiteral("txtemail"))->setPlainText(QStringLiteral("jan@example.nl"));
        press("testEmailButton");
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY2(lastBox().contains(QStringLiteral("niet verzonden:\n")), qPrintable(lastBox()));
        QVERIFY2(lastBox().contains(QStringLiteral("onnect")), qPrintable(lastBox()));
        QCOMPARE(queued(), 0);
    }

    void noAddressSendsNothing()
    {
        m_panel->findChild<QPlainTextEdit*>(QStringLiteral("txtemail"))->setPlainText(QStringLiteral(" \n "));
        press("testEmailButton");
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY(lastBox().contains(QStringLiteral("geen e-mailadres")));
    }
};

QTEST_MAIN(TestChainTests)
#include "tst_chaintests.moc"
