// TaviroAlarmEmailOntvangst against a real POP3 server (dovecot), driven
// through the console's proxy.

#include "ChildProcess.h"
#include "ServiceProxies.h"
#include "ServiceTestSupport.h"
#include "TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace taviro;

namespace {

QByteArray alarmMail(const QString& melder, const QString& functie, const QString& omschrijving,
                     const char* flank = "Op")
{
    return QStringLiteral("From: kiezer@installatie.test\r\nSubject: Alarm %1\r\nContent-Type: "
                          "text/plain; charset=utf-8\r\n"
                          "Content-Transfer-Encoding: 8bit\r\n\r\nMelder: %1\r\nFunctie: "
                          "%2\r\nOmschrijving: %3\r\nFlank: %4\r\n")
        .arg(melder, functie, omschrijving, QLatin1String(flank))
        .toUtf8();
}

// HTML whose every "<script " opens an element that is never closed: a
// reader that searches for the end of each one anew takes minutes.
QByteArray hostileHtmlMail(qsizetype bytes)
{
    return "From: onbekend@elders.test\r\nSubject: Aanbieding\r\nContent-Type: text/html\r\n\r\n" +
           QByteArray("<script ").repeated(bytes / 8) + "\r\n";
}

} // namespace

class TestAlarmEmailReceiver : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::TestDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_state;
    QList<QPair<QString, int>> m_log;

    // `station` names the receiver's own state file: a second station polling
    // the same mailbox has one of its own.
    std::unique_ptr<AlarmEmailReceiverProxy> makeReceiver(const QString& station = QStringLiteral("seen"),
                                                          const QStringList& environment = {})
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroAlarmEmailOntvangst"),
                                                    test::binDir(), m_db->settings());
        o.extraEnvironment = QStringList{QStringLiteral("TAVIRO_ALARMEMAIL_STATE=") +
                                         m_state->filePath(station + QStringLiteral(".txt"))} +
                             environment;
        o.callTimeoutMs = 15000;
        auto r = std::make_unique<AlarmEmailReceiverProxy>(o);
        // The service's own log lines reach the event log as detail; what
        // these tests weigh is what the service and its proxy tell the console.
        connect(&r->client(), &ServiceClient::told, this,
                [this](const QString& text, int level) { m_log << qMakePair(text, level); });
        connect(r.get(), &AlarmEmailReceiver::meldingMessage, this, [this](const QString& text, int level) {
            if (!text.startsWith(QLatin1String("TaviroAlarmEmailOntvangst: ")))
                m_log << qMakePair(text, level);
        });
        return r;
    }

    static MailboxSettings mailbox(quint16 port)
    {
        return {QStringLiteral("127.0.0.1"), port, QStringLiteral("alarm"), QStringLiteral("x"), 5, 5};
    }

    static MailboxSettings mailbox(const test::Pop3TestServer& pop3, const QString& password = {})
    {
        return {QStringLiteral("127.0.0.1"),
                pop3.port(),
                pop3.user(),
                password.isEmpty() ? pop3.password() : password,
                10,
                5};
    }

    static int polls(AlarmEmailReceiverProxy& r)
    {
        return r.client().call(QStringLiteral("status")).result.toObject().value(QStringLiteral("polls")).toInt();
    }

    // Waits until the service finished `count` polls in all.
    static bool waitForPolls(AlarmEmailReceiverProxy& r, int count, int timeoutMs = 60000)
    {
        const bool done = QTest::qWaitFor([&] { return polls(r) >= count; }, timeoutMs);
        // The poll's messages came in with the answer; they are handed on
        // once the event loop runs again.
        QTest::qWait(50);
        return done;
    }

    qint64 count(const QString& sql)
    {
        auto c = m_db->connect();
        auto v = c->scalar(sql);
        return v ? v->toLongLong() : -1;
    }

    // Every stored alarm line as "transmitter/function/description/edge".
    QStringList storedLines()
    {
        auto c = m_db->connect();
        auto lines = c->query(QStringLiteral(
            "SELECT melders.alias, alarmen.functie, alarmen.omschrijving, meldindex.flank FROM "
            "meldindex JOIN alarmen ON meldindex.alarm_id = alarmen.id JOIN melders ON "
            "alarmen.melder_id = melders.id ORDER BY melders.alias, alarmen.functie"));
        QStringList got;
        while (lines && lines->next())
            got << QStringLiteral("%1/%2/%3/%4")
                       .arg(lines->value(0).toString(), lines->value(1).toString(),
                            lines->value(2).toString(), lines->value(3).toString());
        return got;
    }

    // Alarm mails uid-0, uid-1, ... for transmitter 4711, functions from `firstFunctie` on.
    static bool addAlarms(test::ScriptedPop3Server& server, int count, int firstFunctie)
    {
        for (int i = 0; i < count; ++i)
            if (!server.addMail(QStringLiteral("uid-%1").arg(i),
                                alarmMail(QStringLiteral("4711"), QString::number(firstFunctie + i),
                                          QStringLiteral("Punt %1").arg(i))))
                return false;
        return true;
    }


    bool pollAgain(AlarmEmailReceiverProxy& r)
    {
        const int before = polls(r);
        return r.client().call(QStringLiteral("poll")).ok() && waitForPolls(r, before + 1);
    }

    bool logged(const QString& fragment, int level) const
    {
        for (const auto& l : m_log)
            if (l.second == level && l.first.contains(fragment))
                return true;
        return false;
    }

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<test::TestDatabase>();
        QVERIFY(m_db->ok());
        m_state = std::make_unique<QTemporaryDir>();
        m_log.clear();
    }

    void storesEachAlarmMailThenDeletesIt()
    {
        test::Pop3TestServer pop3;
        QVERIFY(pop3.addMail(alarmMail(QStringLiteral("4711"), QStringLiteral("12"),
                                       QStringLiteral("Storing brander één"))));
        QVERIFY(pop3.addMail(alarmMail(QStringLiteral("4711"), QStringLiteral("13"),
                                       QStringLiteral("Waterdruk laag"), "Af")));
        QVERIFY(pop3.addMail(
            "Subject: =?UTF-8?Q?Nieuwsbrief_van_de_leverancier_=E2=82=AC?=\r\n\r\nBeste "
            "klant,\r\n"));
        QVERIFY(pop3.addMail(
            QByteArray("Subject: Ketel\r\nContent-Type: text/html; "
                       "charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n") +
            QByteArray(
                "<p>Melder: 815</p><p>Functie: 1</p><p>Omschrijving: Caf&eacute; koeling</p>")
                .toBase64() +
            "\r\n"));
        QVERIFY(pop3.start());

        auto receiver = makeReceiver();
        QSignalSpy ready(receiver.get(), &AlarmEmailReceiver::meldingReady);
        QVERIFY(receiver->start(mailbox(pop3)));
        QVERIFY(ready.wait(30000));

        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE show = 1 AND seen = 0")), 3);
        QCOMPARE(
            count(QStringLiteral("SELECT COUNT(*) FROM melders WHERE alias IN ('4711', '815')")),
            2);
        QCOMPARE(storedLines(), (QStringList{QStringLiteral("4711/12/Storing brander één/1"),
                                   QStringLiteral("4711/13/Waterdruk laag/0"),
                                   QStringLiteral("815/1/Café koeling/1")}));

        // The newsletter stays, and the operator is told its subject.
        QTRY_COMPARE_WITH_TIMEOUT(pop3.mailCount(), 1, 10000);
        QVERIFY(logged(
            QStringLiteral("Alarm e-mail \"Nieuwsbrief van de leverancier €\" is niet te lezen"),
            0));

        // A second poll stores nothing twice and tells the operator nothing new.
        m_log.clear();
        QVERIFY(pollAgain(*receiver));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 3);
        QCOMPARE(pop3.mailCount(), 1);
        QVERIFY(m_log.isEmpty());
    }

    void emptyServerIsQuiet()
    {
        auto receiver = makeReceiver();
        QVERIFY(receiver->start({QString(), 110, QString(), QString(), 60, 5}));
        QVERIFY(receiver->client().call(QStringLiteral("poll")).ok());
        QTest::qWait(500);
        QCOMPARE(polls(*receiver), 0);
        QVERIFY(m_log.isEmpty());
    }

    void wrongPasswordIsLoggedAndNothingIsLost()
    {
        test::Pop3TestServer pop3;
        QVERIFY(pop3.addMail(
            alarmMail(QStringLiteral("4711"), QStringLiteral("12"), QStringLiteral("Brand"))));
        QVERIFY(pop3.start());
        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(pop3, QStringLiteral("fout"))));
        QVERIFY(waitForPolls(*receiver, 1));
        QVERIFY(logged(QStringLiteral("niet bereikbaar"), 0));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 0);
        QCOMPARE(pop3.mailCount(), 1);

        // Corrected settings arrive with a new start, as after saving the settings panel.
        QSignalSpy ready(receiver.get(), &AlarmEmailReceiver::meldingReady);
        QVERIFY(receiver->start(mailbox(pop3)));
        QVERIFY(ready.wait(30000));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
    }

    void connectionLostMidTransferStoresNothingTwice_data()
    {
        QTest::addColumn<bool>("otherStation");
        QTest::newRow("the same receiver polls again") << false;
        // Another station's receiver, or this one with its state file lost:
        // only the database knows mail 0 was stored.
        QTest::newRow("another station polls next") << true;
    }
    void connectionLostMidTransferStoresNothingTwice()
    {
        QFETCH(bool, otherStation);
        // Mail 0 is stored and deleted, but the session then breaks off while
        // mail 1 is fetched, so the server never saw QUIT and keeps mail 0.
        test::ScriptedPop3Server server;
        QVERIFY(addAlarms(server, 3, 20));
        test::ScriptedPop3Server::Options options;
        options.drop = QStringLiteral("uid-1");
        QVERIFY(server.start(options));

        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(server.port())));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
        // The poll count and the log line travel separately from the service.
        QTRY_VERIFY_WITH_TIMEOUT(logged(QStringLiteral("ophalen van mail uid-1 mislukt"), 0), 5000);

        if (otherStation) {
            receiver.reset();
            receiver = makeReceiver(QStringLiteral("station2"));
            QVERIFY(receiver->start(mailbox(server.port())));
            QVERIFY(waitForPolls(*receiver, 1));
        } else {
            QVERIFY(receiver->client().call(QStringLiteral("poll")).ok());
            QVERIFY(waitForPolls(*receiver, 2));
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 3);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(DISTINCT alarm_id) FROM meldindex")), 3);
        QCOMPARE(server.mails(), QStringList());
    }

    void restartedReceiverPollsTheSameMailbox()
    {
        test::Pop3TestServer pop3;
        QVERIFY(pop3.start());
        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(pop3)));
        QVERIFY(waitForPolls(*receiver, 1));
        QSignalSpy restarted(&receiver->client(), &ServiceClient::restarted);
        ::kill(pid_t(receiver->client().processId()), SIGKILL);
        QVERIFY(restarted.wait(20000));
        QVERIFY(logged(QStringLiteral("TaviroAlarmEmailOntvangst is afgebroken"), 0));

        // Nobody called start again: the supervisor repeated it.
        QSignalSpy ready(receiver.get(), &AlarmEmailReceiver::meldingReady);
        QVERIFY(pop3.addMail(
            alarmMail(QStringLiteral("4711"), QStringLiteral("12"), QStringLiteral("Brand"))));
        QVERIFY(receiver->client().call(QStringLiteral("poll")).ok());
        QVERIFY(ready.wait(30000));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
    }

    void aThousandMailsWithJunkBetween()
    {
        test::Pop3TestServer pop3;
        for (int i = 0; i < 1000; ++i)
            QVERIFY(pop3.addMail(i % 50 == 7
                                     ? hostileHtmlMail(64 * 1024)
                                     : alarmMail(QString::number(5000 + i % 25), QString::number(i),
                                                 QStringLiteral("Punt %1").arg(i))));
        QVERIFY(pop3.start());
        auto receiver = makeReceiver();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(receiver->start(mailbox(pop3)));
        // A loaded machine may need more than one poll; each ends after a while.
        QTRY_COMPARE_WITH_TIMEOUT(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 980,
                                  250000);
        qInfo("980 alarm mails among 20 junk mails stored in %lld ms", timer.elapsed());
        QCOMPARE(count(QStringLiteral("SELECT COUNT(DISTINCT alarm_id) FROM meldindex")), 980);
        QTRY_COMPARE_WITH_TIMEOUT(pop3.mailCount(), 20, 30000);
    }

    // A hostile HTML mail, a 30 MB mail and a newsletter come first; the
    // alarm behind them is stored in the same poll, and the poll after it
    // fetches none of them again.
    void badMailsHoldNoAlarmBack()
    {
        test::Pop3TestServer pop3;
        QVERIFY(pop3.addMail(hostileHtmlMail(2 * 1024 * 1024)));
        QByteArray huge =
            alarmMail(QStringLiteral("77"), QStringLiteral("1"), QStringLiteral("Groot"));
        huge += QByteArray("Bijlage zonder einde ").repeated(30 * 1024 * 1024 / 21) + "\r\n";
        QVERIFY(pop3.addMail(huge));
        QVERIFY(pop3.addMail("From: nieuws@leverancier.test\r\nSubject: Nieuwsbrief\r\n\r\nBeste "
                             "klant,\r\n"));
        QVERIFY(pop3.addMail(
            alarmMail(QStringLiteral("4711"), QStringLiteral("12"), QStringLiteral("Brand"))));
        QVERIFY(pop3.start());

        auto receiver = makeReceiver();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(receiver->start(mailbox(pop3)));
        QVERIFY(waitForPolls(*receiver, 1, 60000));
        qInfo("poll over a 2 MB hostile, a 30 MB and two other mails: %lld ms", timer.elapsed());
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM melders WHERE alias IN ('4711', "
                                      "'77')")),
                 2);
        QVERIFY(logged(QStringLiteral("Alarm e-mail \"Aanbieding\" van onbekend@elders.test is "
                                      "niet te lezen (geen melder genoemd)"),
                       0));
        QVERIFY(
            logged(QStringLiteral("Alarm e-mail \"Nieuwsbrief\" van nieuws@leverancier.test"), 0));
        QVERIFY(logged(QStringLiteral("Alarm e-mail \"Alarm 77\" van kiezer@installatie.test: "
                                      "alleen de eerste 256 KB tekst gelezen"),
                       1));
        QTRY_COMPARE_WITH_TIMEOUT(pop3.mailCount(), 2, 10000);

        m_log.clear();
        QVERIFY(pollAgain(*receiver));
        QVERIFY(m_log.isEmpty());

        // A restarted receiver knows them still.
        auto second = makeReceiver();
        QVERIFY(second->start(mailbox(pop3)));
        QVERIFY(waitForPolls(*second, 1));
        QVERIFY(m_log.isEmpty());
        QCOMPARE(pop3.mailCount(), 2);
    }

    // Stored as the mail format describes it: fields before the first
    // function belong to that line alone, a table may hold key and value in
    // two cells, and a mail of more lines than a report may hold is refused.
    void linesAreStoredAsWritten()
    {
        test::Pop3TestServer pop3;
        QVERIFY(pop3.addMail("Subject: Ketel\r\n\r\nMelder: 4711\r\nOmschrijving: Brand "
                             "hal\r\nFlank: Af\r\nFunctie: 1\r\nFunctie: 2\r\nFunctie: "
                             "3\r\nOmschrijving: Deur open\r\n"));
        QVERIFY(pop3.addMail("Subject: Tabel\r\nContent-Type: text/html\r\n\r\n<table>"
                             "<tr><td>Melder</td><td>5015</td></tr><tr><td>Functie</td>"
                             "<td>7</td></tr><tr><td>Omschrijving</td><td>Lift</td></tr>"
                             "</table>\r\n"));
        QByteArray tooMany = "Subject: Te veel\r\n\r\nMelder: 6000\r\n";
        for (int i = 1; i <= 100; ++i)
            tooMany += "Functie: " + QByteArray::number(i) + "\r\n";
        QVERIFY(pop3.addMail(tooMany));
        QVERIFY(pop3.start());

        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(pop3)));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(storedLines(), (QStringList{
                          QStringLiteral("4711/1/Brand hal/0"), QStringLiteral("4711/2//1"),
                          QStringLiteral("4711/3/Deur open/1"), QStringLiteral("5015/7/Lift/1")}));
        QVERIFY(logged(QStringLiteral("Alarm e-mail \"Te veel\" is niet te lezen (meer dan 99 "
                                      "alarmregels)"),
                       0));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM melders WHERE alias = '6000'")), 0);
        QTRY_COMPARE_WITH_TIMEOUT(pop3.mailCount(), 1, 10000);
    }

    // A mail whose retrieval always breaks the connection goes behind the
    // others at the next poll, and after three tries it is not fetched again.
    void mailThatBreaksEveryRetrievalIsPassedOver()
    {
        test::ScriptedPop3Server server;
        QVERIFY(addAlarms(server, 3, 30));
        test::ScriptedPop3Server::Options options;
        options.drop = QStringLiteral("uid-0+");
        QVERIFY(server.start(options));
        auto retrievals = [&] {
            return QStringLiteral("%1 %2 %3")
                .arg(server.retrievals(QStringLiteral("uid-0")))
                .arg(server.retrievals(QStringLiteral("uid-1")))
                .arg(server.retrievals(QStringLiteral("uid-2")));
        };

        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(server.port())));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 0);
        QCOMPARE(retrievals(), QStringLiteral("1 0 0"));

        QVERIFY(pollAgain(*receiver));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
        QCOMPARE(retrievals(), QStringLiteral("2 1 1"));

        // The broken session took the deletions of 1 and 2 with it: they are
        // read again, found stored under their keys, and deleted.
        QVERIFY(pollAgain(*receiver));
        QCOMPARE(retrievals(), QStringLiteral("3 2 2"));
        QVERIFY(logged(QStringLiteral("Alarm e-mail uid-0 van "), 0));
        QVERIFY(logged(QStringLiteral("is na 3 pogingen niet op te halen"), 0));

        QVERIFY(pollAgain(*receiver));
        QVERIFY(pollAgain(*receiver));
        QCOMPARE(retrievals(), QStringLiteral("3 3 3"));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
        QCOMPARE(server.mails(), QStringList{QStringLiteral("uid-0")});
    }

    // Servers that number their UIDLs hand a new mail the UIDL of one that
    // left; a mail is deleted only when it was read in this session, and a
    // mail passed over is skipped only while it is still that mail.
    void mailUnderAReusedUidlIsRead_data()
    {
        QTest::addColumn<QString>("between"); // what happens between the two polls
        QTest::addColumn<bool>("noTop");
        QTest::newRow("same receiver") << QString() << false;
        QTest::newRow("receiver restarted") << QStringLiteral("restart") << false;
        QTest::newRow("server without TOP") << QString() << true;
    }
    void mailUnderAReusedUidlIsRead()
    {
        QFETCH(QString, between);
        QFETCH(bool, noTop);
        test::ScriptedPop3Server server;
        test::ScriptedPop3Server::Options options;
        options.uidlNumbers = true;
        options.noTop = noTop;
        // a: an alarm, stored and deleted as "1"; b: a newsletter, passed over as "2".
        QVERIFY(server.addMail(QStringLiteral("a"), alarmMail(QStringLiteral("4711"), QStringLiteral("1"),
                                                              QStringLiteral("Brand"))));
        QVERIFY(server.addMail(QStringLiteral("b"), "From: nieuws@leverancier.test\r\nSubject: "
                                                    "Nieuwsbrief\r\n\r\nBeste klant,\r\n"));
        QVERIFY(server.start(options));
        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(server.port())));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
        QCOMPARE(server.mails(), QStringList{QStringLiteral("b")});

        // Now the newsletter is "1", the stored alarm's UIDL, and must not be
        // deleted for it; the new alarms are "2", the passed-over
        // newsletter's UIDL, and "3".
        QVERIFY(server.addMail(QStringLiteral("c"), alarmMail(QStringLiteral("4711"), QStringLiteral("2"),
                                                              QStringLiteral("Inbraak achterdeur"))));
        QVERIFY(server.addMail(QStringLiteral("d"), alarmMail(QStringLiteral("4711"), QStringLiteral("3"),
                                                              QStringLiteral("Waterdruk laag"), "Af")));
        if (between == QLatin1String("restart")) {
            receiver.reset();
            receiver = makeReceiver();
            QVERIFY(receiver->start(mailbox(server.port())));
            QVERIFY(waitForPolls(*receiver, 1));
        } else {
            QVERIFY(pollAgain(*receiver));
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 3);
        QCOMPARE(server.retrievals(QStringLiteral("c")), 1);
        QCOMPARE(server.mails(), QStringList{QStringLiteral("b")});
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM alarmen WHERE functie IN ('2', '3')")), 2);
    }

    // A server whose sizes lie (a few bytes more than it hands out) still
    // delivers every alarm; one that breaks off is still told apart.
    void serverThatOverstatesSizes()
    {
        test::ScriptedPop3Server server;
        test::ScriptedPop3Server::Options options;
        options.sizeLie = 40;
        for (int i = 0; i < 2; ++i)
            QVERIFY(server.addMail(QStringLiteral("uid-%1").arg(i),
                                   alarmMail(QStringLiteral("4711"), QString::number(i), QStringLiteral("Punt"))));
        QVERIFY(server.start(options));
        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(server.port())));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
        QCOMPARE(server.mails(), QStringList());
    }

    // A greeting that offers APOP this server then refuses: the login fails,
    // it is said, and nothing in the mailbox is touched.
    void lyingGreetingTouchesNothing()
    {
        test::ScriptedPop3Server server;
        test::ScriptedPop3Server::Options options;
        options.greeting = QStringLiteral("+OK POP3 klaar <1896.697170952@elders.test>");
        QVERIFY(server.addMail(QStringLiteral("uid-0"),
                               alarmMail(QStringLiteral("4711"), QStringLiteral("1"), QStringLiteral("Brand"))));
        QVERIFY(server.start(options));
        auto receiver = makeReceiver();
        QVERIFY(receiver->start(mailbox(server.port())));
        QVERIFY(waitForPolls(*receiver, 1));
        const qint64 stored = count(QStringLiteral("SELECT COUNT(*) FROM meldingen"));
        // Either the login got through and the alarm was stored and deleted,
        // or it was refused and everything stays: never deleted unread.
        QCOMPARE(server.mails().isEmpty(), stored == 1);
        if (stored == 0)
            QVERIFY(logged(QStringLiteral("niet bereikbaar"), 0));
    }

    // The site's own authority is trusted besides the system's list, not
    // instead of it, and a CA file that is not there is named.
    void trustsTheSystemListAndTheSitesAuthority_data() { test::TestCertificates::addTrustRows(); }
    void trustsTheSystemListAndTheSitesAuthority()
    {
        QFETCH(QString, signer);
        QFETCH(bool, caFileExists);
        QFETCH(bool, trusted);
        test::TestCertificates certs;
        QVERIFY(certs.makeTrustScene(signer));
        test::ScriptedPop3Server server;
        test::ScriptedPop3Server::Options options;
        options.certificate = certs.certificateFile(QStringLiteral("server"));
        options.key = certs.keyFile(QStringLiteral("server"));
        QVERIFY(server.addMail(QStringLiteral("uid-0"),
                               alarmMail(QStringLiteral("4711"), QStringLiteral("1"), QStringLiteral("Brand"))));
        QVERIFY(server.start(options));
        auto receiver = makeReceiver(QStringLiteral("seen"), certs.trustEnvironment(caFileExists) +
                                                                 QStringList{QStringLiteral("TAVIRO_MAIL_ALLOW_PLAINTEXT=0")});
        QVERIFY(receiver->start(mailbox(server.port())));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), trusted ? 1 : 0);
        QCOMPARE(server.mails().size(), trusted ? 0 : 1);
        if (!trusted)
            QVERIFY(logged(caFileExists ? QStringLiteral("niet bereikbaar") : certs.missingFile(), 0));
    }
};

QTEST_GUILESS_MAIN(TestAlarmEmailReceiver)
#include "tst_alarmemailreceiver.moc"
