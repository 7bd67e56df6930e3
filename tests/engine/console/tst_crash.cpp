#include "ConsoleFixture.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace taviro;

// Kills a console that is taking reports in, at random moments, while
// receivers keep storing new ones; then checks that no report was lost,
// half-stored, taken in twice or forwarded twice.
class TstCrash : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedAtRandomMoments()
    {
        test::ConsoleFixture f;
        test::Installation(*f.conn).point(f.melder, QStringLiteral("03"),
                                          QStringLiteral("Koeling"));
        const QString child =
            QCoreApplication::applicationDirPath() + QStringLiteral("/intake_child");
        const QString logs = f.db.folder() + QStringLiteral("/childlog/");
        QRandomGenerator random(20261202);
        int kills = 0;
        QElapsedTimer total;
        total.start();
        for (int round = 0; round < 40 && total.elapsed() < 30000; ++round) {
            QProcess p;
            p.start(child, {f.db.path(), logs});
            QVERIFY(p.waitForStarted());
            QElapsedTimer alive;
            alive.start();
            const int lifetime = random.bounded(20, 250);
            while (alive.elapsed() < lifetime)
                f.report({QStringLiteral("01"), QStringLiteral("02"),
                          QStringLiteral("03")}); // the receivers' stream
            if (p.state() == QProcess::Running) {
                p.kill(); // SIGKILL: no clean-up of any kind
                ++kills;
            }
            p.waitForFinished();
        }
        QProcess drain;
        drain.start(child, {f.db.path(), logs, QStringLiteral("drain")});
        QVERIFY(drain.waitForFinished(30000));
        QCOMPARE(drain.exitCode(), 0);
        QVERIFY(kills >= 10);

        const qint64 reports = f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen"));
        qInfo("%d kills, %lld reports", kills, reports);
        QVERIFY(reports > 50);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE seen = 0")), 0);
        // Every report complete: three lines, all forwarded.
        QCOMPARE(f.number(QStringLiteral(
                     "SELECT COUNT(*) FROM meldingen WHERE (SELECT COUNT(*) FROM meldindex "
                     "WHERE melding_id = meldingen.id) <> 3")),
                 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldindex WHERE uitmelden <> 1")),
                 0);
        // Each line exactly once with each of the two people on duty.
        QCOMPARE(
            f.number(
                QStringLiteral(
                    "SELECT COUNT(*) FROM meldindex WHERE (SELECT COUNT(*) FROM uitmeldlink "
                    "JOIN uitmeld ON uitmeld.id = uitmeldlink.uitmeld_id WHERE "
                    "uitmeldlink.meldindex_id = meldindex.id AND uitmeld.ontvanger_id IN (?, ?)) "
                    "<> 2 "
                    "OR (SELECT COUNT(DISTINCT uitmeld.ontvanger_id) FROM uitmeldlink JOIN uitmeld "
                    "ON uitmeld.id = uitmeldlink.uitmeld_id WHERE uitmeldlink.meldindex_id = "
                    "meldindex.id) <> 2"),
                {f.jan, f.marieke}),
            0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 2 * reports);
    }

    // Kills a console while it sends a backlog of SMS and e-mail, at random
    // moments and many times: every message reaches its recipient, and only a
    // kill between a message going out and its being recorded may repeat one.
    void killedWhileSending()
    {
        test::ConsoleFixture f;
        const int reports = 60;
        for (int i = 0; i < reports; ++i)
            QVERIFY(f.report({QStringLiteral("F%1").arg(i)}) > 0); // a point, and a text, each
        f.console.setShuttingDown(true); // take in only; the children send
        QCOMPARE(f.console.showNewActueel().size(), reports);
        f.console.setShuttingDown(false);

        const QString child =
            QCoreApplication::applicationDirPath() + QStringLiteral("/intake_child");
        const QString logs = f.db.folder() + QStringLiteral("/childlog/");
        const QString smsLog = f.db.folder() + QStringLiteral("/sms.log");
        auto pending = [&f] {
            return f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"),
                            {sql::boolValue(false)}) +
                   f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim"));
        };
        QRandomGenerator random(20261206);
        int kills = 0;
        int slowStart = 0; // a loaded machine starts the child slowly: wait longer then
        for (qint64 left = pending(), round = 0; round < 200 && left > 0; ++round) {
            QProcess p;
            p.start(child, {f.db.path(), logs, QStringLiteral("deliver"), smsLog});
            QVERIFY(p.waitForStarted());
            QTest::qWait(random.bounded(30, 120) + slowStart);
            p.kill();
            p.waitForFinished();
            ++kills;
            const qint64 now = pending();
            slowStart = now < left ? 0 : std::min(slowStart + 50, 2000);
            left = now;
        }
        // On a machine so loaded that the rounds ran out first, the last
        // console started is left alone to finish, as one that is no longer
        // disturbed would.
        if (pending() > 0) {
            QProcess p;
            p.start(child, {f.db.path(), logs, QStringLiteral("deliver"), smsLog});
            QVERIFY(p.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(pending() == 0, 120000);
            p.kill();
            p.waitForFinished();
        }
        QCOMPARE(pending(), 0);

        QFile log(smsLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QHash<QString, int> sent; // "number or address, code" -> messages
        const QRegularExpression code(QStringLiteral("\\bF\\d+\\b"));
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QString text = QString::fromUtf8(line);
            sent[text.section(QLatin1Char('\t'), 0, 0) + QLatin1Char(' ') +
                 code.match(text).captured()]++;
        }
        // The e-mails are owed through the outbox, where each is queued once.
        for (const outbox::OutboxRow& m : f.mails())
            sent[m.address + QLatin1Char(' ') + code.match(m.body).captured()]++;
        int doubled = 0;
        for (int i = 0; i < reports; ++i)
            for (const char* number : {"+31612345678", "+31623456789", "jan@example.nl"}) {
                const int n = sent.value(QString::fromLatin1(number) + QStringLiteral(" F%1").arg(i));
                QVERIFY2(n >= 1, qPrintable(QStringLiteral("F%1 never reached %2")
                                                .arg(i)
                                                .arg(QString::fromLatin1(number))));
                doubled += n - 1;
            }
        qInfo("%d kills while sending, %d messages sent twice", kills, doubled);
        QVERIFY(kills >= 5);
        QVERIFY(doubled <= kills);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE pogingen <> 1 AND "
                                         "ontvanger_id <> 0")),
                 0);
    }
};

QTEST_GUILESS_MAIN(TstCrash)
#include "tst_crash.moc"
