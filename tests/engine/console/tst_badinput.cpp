#include "ConsoleFixture.h"

#include <QElapsedTimer>
#include <QTest>

#include <thread>

using namespace taviro;

// What the field and the database can throw at the engine: odd texts,
// references to rows that are not there, a database another program holds.
class TstBadInput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oddTextsTravelIntact_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("text");
        QTest::newRow("apostrophes") << QStringLiteral("O'Neil") << QStringLiteral("'t Lindehof's kelder");
        QTest::newRow("quotes") << QStringLiteral("\"42\"") << QStringLiteral("\"Brand\" in; DROP TABLE uitmeld;--");
        QTest::newRow("line breaks") << QStringLiteral("A\r\nB") << QStringLiteral("regel 1\nregel 2\r\n");
        QTest::newRow("non-ASCII") << QStringLiteral("Café-1") << QStringLiteral("Koelcel €5 ü ñ 温度 😀");
    }

    void oddTextsTravelIntact()
    {
        QFETCH(QString, alias);
        QFETCH(QString, text);
        test::ConsoleFixture f;
        test::Installation inst(*f.conn);
        const qint64 m = inst.transmitter(alias, text, 1, f.week, 0, text, text);
        inst.point(m, text, text);
        ReceivedReport r{alias, {}, f.clock.now(), {{text, text, 1, {}, {}, {}}}};
        QVERIFY(f.store.store(r));
        QCOMPARE(f.console.showNewActueel().value(0).naam, text);
        f.settle();
        QCOMPARE(f.sms.sent.size(), 2);
        QVERIFY(f.sms.sent[0].text.startsWith(QStringLiteral("> ") + text + QLatin1Char(' ') +
                                              alias + QLatin1Char(' ') + text + QLatin1Char(' ') +
                                              text + QLatin1Char('\r') + text + QLatin1Char(' ') +
                                              text + QStringLiteral(" Op\r")));
        QVERIFY(f.mails().value(0).body.contains(QStringLiteral("Omschrijving : ") + text +
                                             QStringLiteral("\r\n")));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM melders")), 1 + 1);
    }

    void reportsWithoutPointsOrTransmittersAreRefusedOrSkipped()
    {
        test::ConsoleFixture f;
        QVERIFY(!f.store.store({QStringLiteral("1001"), {}, f.clock.now(), {}}));
        QVERIFY(!f.store.store(
            {QString(), {}, f.clock.now(), {{QStringLiteral("01"), {}, 1, {}, {}, {}}}}));
        const qint64 id = f.report({QStringLiteral("01")});
        // Lines written by hand that point to a point and a transmitter that do not exist.
        QVERIFY(f.conn->exec(
            QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, flank, actief) "
                           "VALUES (?, 9999, 9999, 1, true)"),
            {id}));
        f.console.showNewActueel();
        f.settle();
        QCOMPARE(f.number(QStringLiteral("SELECT seen FROM meldingen WHERE id = ?"), {id}), 1);
        QCOMPARE(f.sms.sent.size(), 2);
        QVERIFY(f.logText().contains(QStringLiteral("verwijst naar een onbekend alarmpunt")));
    }

    void missingRecipientIsPassedOver()
    {
        test::ConsoleFixture f;
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE weekplanningen SET \"48\" = 777")));
        QVERIFY(f.console.loadPlanningCache());
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        QCOMPARE(f.sms.sent.size(), 2); // Jan and Marieke, the third cell's recipient is gone
        QVERIFY(f.logText().contains(QStringLiteral("ontvanger 777 bestaat niet")));
    }

    // A backlog is taken in by runs in one transaction each; a report whose
    // writes the database refuses must not hold back the others of its run.
    void refusedReportDoesNotHoldBackItsRun()
    {
        test::ConsoleFixture f;
        QList<qint64> ids;
        for (int i = 0; i < 5; ++i)
            ids.append(f.report({QStringLiteral("01")}));
        const qint64 bad = ids[2];
        const QString refuse =
            f.db.onPostgres()
                ? QStringLiteral("CREATE FUNCTION weiger() RETURNS trigger AS $$ BEGIN RAISE "
                                 "EXCEPTION 'weigert'; END $$ LANGUAGE plpgsql; CREATE TRIGGER "
                                 "weiger BEFORE UPDATE ON meldingen FOR EACH ROW WHEN (NEW.id = "
                                 "%1) EXECUTE FUNCTION weiger()")
                : QStringLiteral("CREATE TRIGGER weiger BEFORE UPDATE ON meldingen WHEN NEW.id = "
                                 "%1 BEGIN SELECT RAISE(ABORT, 'weigert'); END");
        QVERIFY(f.conn->exec(refuse.arg(bad)));

        QCOMPARE(f.console.showNewActueel().size(), 4);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE seen = false")), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT seen FROM meldingen WHERE id = ?"), {bad}), 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 8);
        QVERIFY(f.logText().contains(QStringLiteral("Melding %1 niet verwerkt").arg(bad)));

        // Once the database takes it, the next intake forwards it like any other.
        QVERIFY(f.conn->exec(QStringLiteral("DROP TRIGGER weiger") +
                             (f.db.onPostgres() ? QStringLiteral(" ON meldingen") : QString())));
        QCOMPARE(f.console.showNewActueel().size(), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 10);
    }

    void lockedDatabaseIsWaitedFor()
    {
        test::ConsoleFixture f;
        if (f.db.onPostgres())
            QSKIP("a SQLite file lock; PostgreSQL locks rows, not the database");
        std::atomic<bool> holding{false};
        std::thread holder([&] {
            auto c = f.db.connect();
            (void)c->exec(QStringLiteral("BEGIN IMMEDIATE"));
            (void)c->exec(QStringLiteral("UPDATE settings SET smsfrom = 'bezet'"));
            holding = true;
            std::this_thread::sleep_for(std::chrono::seconds(3));
            (void)c->exec(QStringLiteral("COMMIT"));
        });
        while (!holding)
            std::this_thread::yield();
        QElapsedTimer clock;
        clock.start();
        const qint64 id = f.report({QStringLiteral("01")});
        const qint64 waited = clock.elapsed();
        const QList<ActueelItem> items = f.console.showNewActueel();
        holder.join();
        QVERIFY(id != 0);
        QVERIFY2(waited > 2000, qPrintable(QString::number(waited)));
        QCOMPARE(items.size(), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 2);
    }
};

QTEST_GUILESS_MAIN(TstBadInput)
#include "tst_badinput.moc"
