#include "ConsoleFixture.h"
#include "LegacyDatabase.h"
#include "LegacyLinks.h"
#include "SchemaExtensions.h"
#include "SchemaUpgrade.h"

#include <QTest>

using namespace taviro;

// Dispatches whose lines are known only the old way, or not at all.
class TstLegacyDispatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The original installation linked a dispatch to its line only through
    // meldindex.uitmeld_id. After the upgrade the console sends it and the
    // operator's acknowledgement reaches it.
    void upgradedDispatchIsSentAndAcknowledged_data()
    {
        QTest::addColumn<bool>("alreadySent");
        QTest::newRow("pending") << false;
        QTest::newRow("sent once, to be repeated") << true;
    }
    void upgradedDispatchIsSentAndAcknowledged()
    {
        QFETCH(bool, alreadySent);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("oud.db"));
        QVERIFY(test::createLegacyDatabase(path, 28).ok());
        test::FakeClock clock;
        {
            auto old = DatabaseConnector::open(DatabaseSettings::fromText(path));
            QVERIFY(old);
            const QString when = clock.now().addSecs(-600).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            // As the old programs wrote them: -1 for true, the line naming its dispatch.
            for (const char* sql :
                 {"UPDATE ontvangers SET mobielnr = '+31600000001', UseSMS = -1 WHERE id = 1",
                  "INSERT INTO melders (id, alias, naam, adres, plaats, actief, uitmeld) "
                  "VALUES (1, '2002', 'Gemaal Noord', 'Dijkweg 4', 'Eemnes', -1, 1)",
                  "INSERT INTO gebruikers (id, naam, loginnaam) VALUES (1, 'Oude Operator', 'oud')"})
                QVERIFY((*old)->exec(QString::fromLatin1(sql)));
            QVERIFY((*old)->exec(QStringLiteral("INSERT INTO meldingen (id, melding_date, bemand, show, seen) "
                                                "VALUES (7, ?, 0, -1, -1)"),
                                 {when}));
            QVERIFY((*old)->exec(QStringLiteral("INSERT INTO uitmeld (id, ontvanger_id, uitmeldtype, done, pogingen, "
                                                "date, bevestiger, bevestigtype) VALUES (40, 1, ?, ?, ?, ?, 0, 0)"),
                                 {alreadySent ? 1 : 0, alreadySent ? 1 : 0, alreadySent ? 1 : 0, when}));
            QVERIFY((*old)->exec(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, "
                                                "flank, actief, date, uitmelden) VALUES (7, 1, 1, 40, 1, -1, ?, -1)"),
                                 {when}));
        }

        SchemaUpgrade upgrade(DatabaseSettings::fromText(path), clock);
        QVERIFY2(upgrade.convertDatabase(), qPrintable(upgrade.error()));
        auto opened = DatabaseConnector::open(DatabaseSettings::fromText(path));
        QVERIFY(opened);
        const DatabaseConnector& conn = **opened;
        QVERIFY(schema::ensureExtensions(conn));
        EventLog log(clock, dir.filePath(QStringLiteral("Logger/")));
        auto repaired = repairDispatchLinks(conn);
        QVERIFY2(repaired, qPrintable(repaired.error()));
        QCOMPARE(repaired->dispatchesLinked, 1);
        QCOMPARE(repaired->linesLinked, 1);
        QCOMPARE(repaired->pendingWithoutLines, 0);
        // A second start adds nothing.
        QCOMPARE(repairDispatchLinks(conn)->dispatchesLinked, 0);
        QCOMPARE(sql::toLong(*conn.scalar(QStringLiteral("SELECT COUNT(*) FROM uitmeldlink"))), 1);

        test::FakeSmsService sms;
        test::FakeMailSender mail;
        Console console(conn, clock, log, sms, mail);
        console.setSmsSettleMsecs(0);
        QVERIFY(console.loadPlanningCache());
        if (alreadySent)
            QCOMPARE(console.delivery().rearmSmsDispatches(), 1);
        console.dispatchTick();
        for (int i = 0; i < 20; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(sms.sent.size(), 1);
        QCOMPARE(sms.sent[0].mobileNumber, QStringLiteral("+31600000001"));
        QVERIFY(sms.sent[0].text.startsWith(QStringLiteral("> Gemaal Noord 2002 Dijkweg 4 Eemnes\r01 Inbraak Op\r")));
        auto row = [&](const char* column) {
            return sql::toLong(*conn.scalar(QStringLiteral("SELECT %1 FROM uitmeld WHERE id = 40").arg(QLatin1String(column))));
        };
        QCOMPARE(row("pogingen"), alreadySent ? 2 : 1);

        console.setGebruikerId(1);
        QVERIFY(console.bevestigMelding(7));
        QCOMPARE(row("bevestiger"), 1);
        QCOMPARE(row("bevestigtype"), 1);
        QCOMPARE(console.delivery().rearmSmsDispatches(), 0);
    }

    // Dispatches none of whose lines can be read are reported once at start
    // and never offered, so the others go as if they were not there.
    void dispatchesWithoutLinesAreSkipped()
    {
        test::ConsoleFixture f;
        QStringList screen;
        QObject::connect(&f.log, &EventLog::screenLine, &f.log, [&](const QString& l) { screen << l; });
        f.report({QStringLiteral("01")});
        f.console.setShuttingDown(true);
        f.console.showNewActueel();
        f.console.setShuttingDown(false);
        // Newer than the real ones: one without any line, one linked to a line that is gone.
        const QString add = QStringLiteral("INSERT INTO uitmeld (ontvanger_id, done, pogingen, uitmeldtype, bevestiger, "
                                           "bevestigtype) VALUES (?, ?, 0, 0, 0, 0)");
        QVERIFY(f.conn->exec(add, {f.jan, sql::boolValue(false)}));
        QVERIFY(f.conn->exec(add, {f.marieke, sql::boolValue(false)}));
        const qint64 dangling = f.number(QStringLiteral("SELECT MAX(id) FROM uitmeld"));
        QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, 99999)"),
                             {dangling}));

        repairDispatchLinks(*f.conn, f.log);
        QCOMPARE(screen.filter(QStringLiteral("2 openstaande uitmeldingen hebben geen meldingsregels")).size(), 1);
        QCOMPARE(screen.filter(QStringLiteral("1 koppelingen van openstaande uitmeldingen wijzen naar een "
                                              "meldingsregel die niet bestaat")).size(), 1);
        const qsizetype said = screen.size();

        for (int minute = 0; minute < 5; ++minute) {
            f.console.dispatchTick();
            f.settle();
            f.clock.advanceSecs(60);
        }
        QCOMPARE(f.sms.sent.size(), 2);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"), {sql::boolValue(false)}), 2);
        QCOMPARE(f.number(QStringLiteral("SELECT SUM(pogingen) FROM uitmeld")), 2);
        QCOMPARE(screen.size(), said); // nothing more about them
    }

    // A program that knows only the old way writes dispatches while the
    // console runs: the pending one goes out within a minute and once, a
    // finished one is left alone, and a second minute finds nothing to link.
    void oldWayDispatchWrittenWhileRunningIsSent()
    {
        test::ConsoleFixture f;
        QStringList screen;
        QObject::connect(&f.log, &EventLog::screenLine, &f.log, [&](const QString& l) { screen << l; });
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        const qsizetype sentBefore = f.sms.sent.size();
        const qint64 melderId = f.number(QStringLiteral("SELECT MIN(melder_id) FROM meldindex"));
        const qint64 alarmId = f.number(QStringLiteral("SELECT MIN(alarm_id) FROM meldindex"));
        const QVariant when = sql::dateValue(f.clock.now(), f.conn->dialect());
        for (bool done : {false, true}) {
            QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO meldingen (melding_date, bemand, %1, seen) VALUES (?, ?, ?, ?)")
                                     .arg(f.conn->id(QStringLiteral("show"))),
                                 {when, sql::boolValue(false), sql::boolValue(true), sql::boolValue(true)}));
            const qint64 melding = f.number(QStringLiteral("SELECT MAX(id) FROM meldingen"));
            QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, "
                                                "bevestiger, bevestigtype) VALUES (?, 0, ?, 0, 0, 0)"),
                                 {f.jan, sql::boolValue(done)}));
            const qint64 dispatch = f.number(QStringLiteral("SELECT MAX(id) FROM uitmeld"));
            QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, "
                                                "flank, actief, date, uitmelden) VALUES (?, ?, ?, ?, 1, ?, ?, ?)"),
                                 {melding, melderId, alarmId, dispatch, sql::boolValue(true), when,
                                  sql::boolValue(true)}));
        }
        for (int minute = 0; minute < 3; ++minute) {
            f.console.dispatchTick();
            f.settle();
            f.clock.advanceSecs(60);
        }
        QCOMPARE(f.sms.sent.size(), sentBefore + 1);
        QCOMPARE(screen.filter(QStringLiteral("1 uitmeldingen uit meldindex.uitmeld_id gekoppeld")).size(), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"), {sql::boolValue(false)}), 0);
    }
};

QTEST_GUILESS_MAIN(TstLegacyDispatch)
#include "tst_legacydispatch.moc"
