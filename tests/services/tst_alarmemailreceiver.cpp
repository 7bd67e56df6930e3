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
    std::unique_ptr<AlarmEmailReceiverProxy> makeReceiver(const QString& station = QStringLiteral("seen"))
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroAlarmEmailOntvangst"),
                                                    test::binDir(), m_db->settings());
        o.extraEnvironment = {QStringLiteral("TAVIRO_ALARMEMAIL_STATE=") +
                              m_state->filePath(station + QStringLiteral(".txt"))};
        o.callTimeoutMs = 15000;
        auto r = std::make_unique<AlarmEmailReceiverProxy>(o);
        // The service's own log lines reach the event log as detail; what
        // these tests weigh is what the service tells the console.
        connect(r.get(), &AlarmEmailReceiver::meldingMessage, this, [this](const QString& text, int level) {
            if (!text.startsWith(QLatin1String("TaviroAlarmEmailOntvangst: ")))
                m_log << qMakePair(text, level);
        });
        return r;
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

    // Waits until the service finished `count` polls in all.
    static bool waitForPolls(AlarmEmailReceiverProxy& r, int count, int timeoutMs = 60000)
    {
        const bool done = QTest::qWaitFor(
            [&] {
                return r.client()
                           .call(QStringLiteral("status"))
                           .result.toObject()
                           .value(QStringLiteral("polls"))
                           .toInt() >= count;
            },
            timeoutMs);
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

    int polls(AlarmEmailReceiverProxy& r)
    {
        return r.client()
            .call(QStringLiteral("status"))
            .result.toObject()
            .value(QStringLiteral("polls"))
            .toInt();
    }

    bool pollAgain(AlarmEmailReceiverProxy& r)
    {
        const int before = polls(r);
        return r.client().call(QStringLiteral("poll")).ok() && waitForPolls(r, before + 1);
    }

    // The POP3 test server that breaks off retrievals; returns its port.
    static quint16 startDropper(QProcess& server, const QStringList& mailFiles,
                                const QString& dropAt)
    {
        const quint16 port = test::freeLoopbackPort();
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("/usr/bin/python3"),
                     QStringList{test::scriptDir() + QStringLiteral("/pop3_dropper.py"),
                                 QString::number(port), dropAt} +
                         mailFiles);
        return server.waitForReadyRead(10000) ? port : 0;
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
        auto c = m_db->connect();
        auto lines = c->query(QStringLiteral("SELECT melders.alias, alarmen.functie, "
                                             "alarmen.omschrijving, meldindex.flank FROM meldindex "
                                             "JOIN alarmen ON meldindex.alarm_id = alarmen.id JOIN "
                                             "melders ON alarmen.melder_id = melders.id "
                                             "ORDER BY melders.alias, alarmen.functie"));
        QVERIFY(lines);
        QStringList got;
        while (lines->next())
            got << QStringLiteral("%1/%2/%3/%4")
                       .arg(lines->value(0).toString(), lines->value(1).toString(),
                            lines->value(2).toString(), lines->value(3).toString());
        QCOMPARE(got, (QStringList{QStringLiteral("4711/12/Storing brander één/1"),
                                   QStringLiteral("4711/13/Waterdruk laag/0"),
                                   QStringLiteral("815/1/Café koeling/1")}));

        // The newsletter stays, and the operator is told its subject.
        QTRY_COMPARE_WITH_TIMEOUT(pop3.mailCount(), 1, 10000);
        QVERIFY(logged(
            QStringLiteral("Alarm e-mail \"Nieuwsbrief van de leverancier €\" is niet te lezen"),
            0));

        // A second poll stores nothing twice and tells the operator nothing new.
        const int polls = receiver->client()
                              .call(QStringLiteral("status"))
                              .result.toObject()
                              .value(QStringLiteral("polls"))
                              .toInt();
        m_log.clear();
        QVERIFY(receiver->client().call(QStringLiteral("poll")).ok());
        QVERIFY(waitForPolls(*receiver, polls + 1));
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
        QCOMPARE(receiver->client()
                     .call(QStringLiteral("status"))
                     .result.toObject()
                     .value(QStringLiteral("polls"))
                     .toInt(),
                 0);
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
        QTemporaryDir files;
        QStringList paths;
        for (int i = 0; i < 3; ++i) {
            QFile f(files.filePath(QStringLiteral("mail%1.eml").arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(alarmMail(QStringLiteral("4711"), QString::number(20 + i),
                              QStringLiteral("Punt %1").arg(i)));
            paths << f.fileName();
        }
        QProcess server;
        const quint16 port = startDropper(server, paths, QStringLiteral("1"));
        QVERIFY(port != 0);
        auto stopServer = qScopeGuard([&] {
            server.kill();
            server.waitForFinished();
        });

        auto receiver = makeReceiver();
        QVERIFY(receiver->start({QStringLiteral("127.0.0.1"), port, QStringLiteral("alarm"),
                                 QStringLiteral("x"), 5, 5}));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
        QVERIFY(logged(QStringLiteral("ophalen van mail uid-1 mislukt"), 0));

        if (otherStation) {
            receiver.reset();
            receiver = makeReceiver(QStringLiteral("station2"));
            QVERIFY(receiver->start({QStringLiteral("127.0.0.1"), port, QStringLiteral("alarm"),
                                     QStringLiteral("x"), 5, 5}));
            QVERIFY(waitForPolls(*receiver, 1));
        } else {
            QVERIFY(receiver->client().call(QStringLiteral("poll")).ok());
            QVERIFY(waitForPolls(*receiver, 2));
        }
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 3);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(DISTINCT alarm_id) FROM meldindex")), 3);
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
        auto c = m_db->connect();
        auto lines = c->query(QStringLiteral(
            "SELECT melders.alias, alarmen.functie, alarmen.omschrijving, meldindex.flank FROM "
            "meldindex JOIN alarmen ON meldindex.alarm_id = alarmen.id JOIN melders ON "
            "alarmen.melder_id = melders.id ORDER BY melders.alias, alarmen.functie"));
        QVERIFY(lines);
        QStringList got;
        while (lines->next())
            got << QStringLiteral("%1/%2/%3/%4")
                       .arg(lines->value(0).toString(), lines->value(1).toString(),
                            lines->value(2).toString(), lines->value(3).toString());
        QCOMPARE(got, (QStringList{
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
        QTemporaryDir files;
        QStringList paths;
        for (int i = 0; i < 3; ++i) {
            QFile f(files.filePath(QStringLiteral("mail%1.eml").arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(alarmMail(QStringLiteral("4711"), QString::number(30 + i),
                              QStringLiteral("Punt %1").arg(i)));
            paths << f.fileName();
        }
        QProcess server;
        const quint16 port = startDropper(server, paths, QStringLiteral("0+"));
        QVERIFY(port != 0);
        auto stopServer = qScopeGuard([&] {
            server.kill();
            server.waitForFinished();
        });
        auto retrievals = [&] {
            QFile f(files.filePath(QStringLiteral("retrievals.txt")));
            return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
        };

        auto receiver = makeReceiver();
        QVERIFY(receiver->start({QStringLiteral("127.0.0.1"), port, QStringLiteral("alarm"),
                                 QStringLiteral("x"), 5, 5}));
        QVERIFY(waitForPolls(*receiver, 1));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 0);
        QCOMPARE(retrievals(), QStringLiteral("1 0 0"));

        QVERIFY(pollAgain(*receiver));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
        QCOMPARE(retrievals(), QStringLiteral("2 1 1"));

        QVERIFY(pollAgain(*receiver));
        QCOMPARE(retrievals(), QStringLiteral("3 1 1"));
        QVERIFY(logged(QStringLiteral("Alarm e-mail uid-0 van "), 0));
        QVERIFY(logged(QStringLiteral("is na 3 pogingen niet op te halen"), 0));

        QVERIFY(pollAgain(*receiver));
        QVERIFY(pollAgain(*receiver));
        QCOMPARE(retrievals(), QStringLiteral("3 1 1"));
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM meldingen")), 2);
    }
};

QTEST_GUILESS_MAIN(TestAlarmEmailReceiver)
#include "tst_alarmemailreceiver.moc"
