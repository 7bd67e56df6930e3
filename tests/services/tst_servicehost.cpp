// The JSON-RPC loop every service runs, exercised through a real service
// process over its stdin and stdout.

#include "ChildProcess.h"
#include "ServiceClient.h"
#include "TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

using namespace taviro;

class TestServiceHost : public QObject
{
    Q_OBJECT

    test::TestDatabase m_db;
    QTemporaryDir m_queue;

    void startService(QProcess& p, const QString& database)
    {
        test::startProgram(p, QStringLiteral("TaviroMailSender"), {},
                           {QStringLiteral("TAVIRO_DATABASE=") + database,
                            QStringLiteral("TAVIRO_MAIL_QUEUE=") + m_queue.path()});
        QVERIFY(p.waitForStarted(5000));
    }

    static QJsonObject readAnswer(QProcess& p)
    {
        while (!p.canReadLine() && p.waitForReadyRead(10000)) {
        }
        return QJsonDocument::fromJson(p.readLine()).object();
    }

private Q_SLOTS:
    void answersRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("errorCode"); // 0: a result is expected
        QTest::addColumn<QString>("result");
        QTest::newRow("ping") << QByteArray(R"({"jsonrpc":"2.0","id":7,"method":"ping"})") << 0
                              << QStringLiteral("pong");
        QTest::newRow("text id") << QByteArray(
                                        R"({"jsonrpc":"2.0","id":"a","method":"ping","params":{}})")
                                 << 0 << QStringLiteral("pong");
        QTest::newRow("unknown method")
            << QByteArray(R"({"jsonrpc":"2.0","id":7,"method":"reboot"})") << -32601 << QString();
        QTest::newRow("not JSON") << QByteArray("{\"jsonrpc\":\"2.0\",\"id\":") << -32700 << QString();
        QTest::newRow("wrong version")
            << QByteArray(R"({"jsonrpc":"1.0","id":7,"method":"ping"})") << -32600 << QString();
        QTest::newRow("params as array")
            << QByteArray(R"({"jsonrpc":"2.0","id":7,"method":"ping","params":[1]})") << -32602
            << QString();
        QTest::newRow("missing address")
            << QByteArray(R"({"jsonrpc":"2.0","id":7,"method":"send","params":{"subject":"x"}})")
            << -32602 << QString();
        QTest::newRow("address of the wrong kind")
            << QByteArray(R"({"jsonrpc":"2.0","id":7,"method":"send","params":{"address":12}})")
            << -32602 << QString();
    }
    void answersRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, errorCode);
        QFETCH(QString, result);
        QVERIFY(m_db.ok());
        QProcess p;
        startService(p, m_db.path());
        // A notification (no id) is never answered, so the next line must be ours.
        p.write(R"({"jsonrpc":"2.0","method":"ping"})"
                "\n" +
                request + "\n");
        const QJsonObject answer = readAnswer(p);
        QCOMPARE(answer.value(QStringLiteral("jsonrpc")).toString(), QStringLiteral("2.0"));
        if (errorCode == 0) {
            QCOMPARE(answer.value(QStringLiteral("result")).toString(), result);
        } else {
            QCOMPARE(answer.value(QStringLiteral("error"))
                         .toObject()
                         .value(QStringLiteral("code"))
                         .toInt(),
                     errorCode);
            QVERIFY(!answer.value(QStringLiteral("error"))
                         .toObject()
                         .value(QStringLiteral("message"))
                         .toString()
                         .isEmpty());
        }
        // stdout carries protocol only: one answer, nothing else.
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        QVERIFY(p.readAllStandardOutput().trimmed().isEmpty());
        QCOMPARE(p.exitCode(), 0);
    }

    void requestsSplitAcrossWritesAreJoined()
    {
        QProcess p;
        startService(p, m_db.path());
        p.write(R"({"jsonrpc":"2.0","id":1,)");
        p.waitForBytesWritten();
        QTest::qWait(100);
        p.write(R"("method":"ping"})"
                "\n"
                R"({"jsonrpc":"2.0","id":2,"method":"ping"})"
                "\n");
        QCOMPARE(readAnswer(p).value(QStringLiteral("id")).toInt(), 1);
        QCOMPARE(readAnswer(p).value(QStringLiteral("id")).toInt(), 2);
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
    }

    void endsCleanly_data()
    {
        QTest::addColumn<bool>("bySignal");
        QTest::newRow("stdin closed") << false;
        QTest::newRow("SIGTERM") << true;
    }
    void endsCleanly()
    {
        QFETCH(bool, bySignal);
        QProcess p;
        startService(p, m_db.path());
        QVERIFY(test::waitForStderr(p, QStringLiteral("gestart")));
        if (bySignal)
            ::kill(pid_t(p.processId()), SIGTERM);
        else
            p.closeWriteChannel();
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void callThatGetsNoAnswerTimesOut()
    {
        auto o = ServiceClient::Options::forService(QStringLiteral("TaviroMailSender"),
                                                    test::binDir(), m_db.settings());
        o.extraEnvironment = {QStringLiteral("TAVIRO_MAIL_QUEUE=") + m_queue.path()};
        o.callTimeoutMs = 1000;
        ServiceClient client(o);
        QVERIFY(client.start());
        QCOMPARE(client.call(QStringLiteral("ping")).result.toString(), QStringLiteral("pong"));
        ::kill(pid_t(client.processId()), SIGSTOP); // a service that hangs
        // The console's timers (heartbeat, watchdog, window) go on during the wait.
        QElapsedTimer timer;
        QTimer heartbeat;
        qint64 longestGap = 0, last = 0;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, timer.elapsed() - last);
            last = timer.elapsed();
        });
        heartbeat.start(10);
        timer.start();
        const CallResult late = client.call(QStringLiteral("ping"));
        heartbeat.stop();
        QCOMPARE(late.errorCode, int(CallResult::TimedOut));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY2(longestGap < 200, qPrintable(QString::number(longestGap)));
        QVERIFY(last > 500);
        ::kill(pid_t(client.processId()), SIGCONT);
        // The late answer to the first call is not taken for the next one.
        const CallResult next = client.call(QStringLiteral("status"));
        QVERIFY(next.ok());
        QVERIFY(next.result.toObject().contains(QStringLiteral("queued")));
    }

    // A service that writes without line ends must not grow the console's
    // memory: the line is dropped, logged, and the service started afresh.
    void endlessLineIsDropped()
    {
        const QString program = m_queue.filePath(QStringLiteral("endless.sh"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec tr '\\000' x < /dev/zero\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ServiceClient::Options o;
        o.program = program;
        o.database = m_db.settings();
        o.maxLineBytes = 256 * 1024;
        o.firstRestartDelayMs = 60000;
        ServiceClient client(o);
        QStringList seen;
        connect(&client, &ServiceClient::meldingMessage, this, [&seen](const QString& text, int level) {
            if (level == 0)
                seen << text;
        });
        QVERIFY(client.start());
        QTRY_VERIFY_WITH_TIMEOUT(seen.join(QLatin1Char('\n')).contains(QStringLiteral("regel zonder einde")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!client.isRunning(), 10000);
        client.stop();
    }

    void logLineBecomesAnEventLogEntry_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("entry"); // empty: not logged again
        QTest::addColumn<int>("level");
        QTest::newRow("ordinary") << QStringLiteral("2026-12-07 10:15:00.123 TaviroMailSender: mail aan Jan verzonden")
                                  << QStringLiteral("TaviroMailSender: mail aan Jan verzonden") << 1;
        QTest::newRow("why it died") << QStringLiteral("2026-12-07 10:15:00.123 TaviroMailSender: fatale fout: geen database")
                                     << QStringLiteral("TaviroMailSender: fatale fout: geen database") << 0;
        QTest::newRow("already notified") << QStringLiteral("2026-12-07 10:15:00.123 TaviroMailSender: melding (niveau 0): x")
                                          << QString() << 0;
        QTest::newRow("not our format") << QStringLiteral("QSocketNotifier: Invalid socket")
                                        << QStringLiteral("TaviroMailSender: QSocketNotifier: Invalid socket") << 1;
        QTest::newRow("blank") << QStringLiteral("   ") << QString() << 0;
    }
    void logLineBecomesAnEventLogEntry()
    {
        QFETCH(QString, line);
        QFETCH(QString, entry);
        QFETCH(int, level);
        const auto got = ServiceClient::logEntryFor(QStringLiteral("TaviroMailSender"), line.trimmed());
        QCOMPARE(got.has_value(), !entry.isEmpty());
        if (got) {
            QCOMPARE(got->first, entry);
            QCOMPARE(got->second, level);
        }
    }

    // What a real service writes reaches the console's event log with its
    // name, including why it ended.
    void serviceLogReachesTheConsole_data()
    {
        QTest::addColumn<bool>("databaseThere");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("level");
        QTest::newRow("start") << true << QStringLiteral("TaviroMailSender: gestart (pid ") << 1;
        QTest::newRow("death") << false << QStringLiteral("TaviroMailSender: fatale fout: ") << 0;
    }
    void serviceLogReachesTheConsole()
    {
        QFETCH(bool, databaseThere);
        QFETCH(QString, expected);
        QFETCH(int, level);
        auto o = ServiceClient::Options::forService(
            QStringLiteral("TaviroMailSender"), test::binDir(),
            databaseThere ? m_db.settings() : DatabaseSettings::fromText(m_queue.filePath(QStringLiteral("weg.db"))));
        o.extraEnvironment = {QStringLiteral("TAVIRO_MAIL_QUEUE=") + m_queue.path()};
        o.firstRestartDelayMs = 60000;
        ServiceClient client(o);
        QList<std::pair<QString, int>> seen;
        connect(&client, &ServiceClient::meldingMessage, this,
                [&seen](const QString& text, int lvl) { seen.append({text, lvl}); });
        QVERIFY(client.start());
        const auto found = [&] {
            return std::any_of(seen.begin(), seen.end(),
                               [&](const auto& e) { return e.first.startsWith(expected) && e.second == level; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(found(), 10000);
        client.stop();
    }

    void missingDatabaseIsFatal()
    {
        QProcess p;
        startService(p, m_queue.filePath(QStringLiteral("bestaat-niet.db")));
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("fatale fout"));
    }
};

QTEST_GUILESS_MAIN(TestServiceHost)
#include "tst_servicehost.moc"
