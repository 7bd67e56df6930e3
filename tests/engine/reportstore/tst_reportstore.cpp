#include "DatabaseConnector.h"
#include "Installation.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QFile>
#include <QTest>

using namespace taviro;

// What a stored report looks like to the console: the line copies the state
// of its point, unknown transmitters and points are added, check-ins reset
// the watchdog.
class TstReportStore : public QObject
{
    Q_OBJECT

    static qint64 number(const DatabaseConnector& c, const QString& sql,
                         const QVariantList& binds = {})
    {
        auto v = c.scalar(sql, binds);
        return v ? sql::toLong(*v) : -1;
    }

private Q_SLOTS:
    void lineCopiesItsPoint_data()
    {
        QTest::addColumn<bool>("pointActief");
        QTest::addColumn<bool>("uurs24");
        QTest::newRow("active alarm point") << true << false;
        QTest::newRow("point out of service") << false << false;
        QTest::newRow("check-in point") << true << true;
    }

    void lineCopiesItsPoint()
    {
        QFETCH(bool, pointActief);
        QFETCH(bool, uurs24);
        test::TestDatabase db;
        auto conn = db.connect();
        test::Installation inst(*conn);
        const qint64 m =
            inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor"), 0, 0, 0);
        const qint64 p = inst.point(m, QStringLiteral("01"), QStringLiteral("Punt"), 0, 0, uurs24);
        QVERIFY(conn->exec(QStringLiteral("UPDATE alarmen SET actief = ?, tolate = true WHERE id = ?"),
                           {pointActief, p}));

        const QDateTime at(QDate(2026, 12, 2), QTime(10, 15, 7));
        auto id = SqlReportStore(*conn).store(
            {QStringLiteral("1001"), {}, at, {{QStringLiteral("01"), {}, 0, {}, {}, {}}}});
        QVERIFY2(id, qPrintable(id.error()));
        const QString line = QStringLiteral("SELECT %1 FROM meldindex WHERE melding_id = ?");
        QCOMPARE(number(*conn, line.arg(QStringLiteral("actief")), {*id}), pointActief ? 1 : 0);
        QCOMPARE(number(*conn, line.arg(conn->id(QStringLiteral("24uurs"))), {*id}),
                 uurs24 ? 1 : 0);
        QCOMPARE(number(*conn, line.arg(QStringLiteral("alarm_id")), {*id}), p);
        QCOMPARE(number(*conn, line.arg(QStringLiteral("flank")), {*id}), 0);
        QCOMPARE(number(*conn, QStringLiteral("SELECT tolate FROM alarmen WHERE id = ?"), {p}),
                 uurs24 ? 0 : 1);
        auto date = conn->scalar(QStringLiteral("SELECT \"date\" FROM alarmen WHERE id = ?"), {p});
        QCOMPARE(sql::toDate(*date), uurs24 ? at : QDateTime());
        QCOMPARE(
            number(*conn, QStringLiteral(
                              "SELECT COUNT(*) FROM meldingen WHERE \"show\" = true AND seen = false")),
            1);
    }

    // The store is the last guard for every receiver: a check-in dated in
    // the future would keep its watchdog quiet until that date.
    void futureLineDateIsTheReceptionTime_data()
    {
        QTest::addColumn<qint64>("aheadSecs");
        QTest::addColumn<qint64>("storedAheadSecs");
        QTest::newRow("in the past") << qint64(-600) << qint64(-600);
        QTest::newRow("a clock a little fast") << qint64(kFutureDateToleranceSecs) << kFutureDateToleranceSecs;
        QTest::newRow("just beyond the tolerance") << kFutureDateToleranceSecs + 1 << qint64(0);
        QTest::newRow("years ahead") << qint64(10) * 365 * 24 * 3600 << qint64(0);
    }
    void futureLineDateIsTheReceptionTime()
    {
        QFETCH(qint64, aheadSecs);
        QFETCH(qint64, storedAheadSecs);
        test::TestDatabase db;
        auto conn = db.connect();
        test::Installation inst(*conn);
        const qint64 m = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor"), 0, 0, 0);
        const qint64 p = inst.point(m, QStringLiteral("01"), QStringLiteral("Check-in"), 0, 0, true);
        const QDateTime at(QDate(2026, 12, 2), QTime(10, 15, 7));
        auto id = SqlReportStore(*conn).store(
            {QStringLiteral("1001"), {}, at, {{QStringLiteral("01"), {}, 1, at.addSecs(aheadSecs), {}, {}}}});
        QVERIFY2(id, qPrintable(id.error()));
        const QDateTime expected = at.addSecs(storedAheadSecs);
        QCOMPARE(sql::toDate(*conn->scalar(QStringLiteral("SELECT \"date\" FROM alarmen WHERE id = ?"), {p})),
                 expected);
        QCOMPARE(sql::toDate(*conn->scalar(QStringLiteral("SELECT \"date\" FROM meldindex WHERE melding_id = ?"),
                                           {*id})),
                 expected);
    }

    // A unit that repeats only its latest line: an older line that comes
    // again later is new, the latest one is a repeat.
    void familyRemembersOnlyTheLatest()
    {
        test::TestDatabase db;
        auto conn = db.connect();
        const QDateTime at(QDate(2026, 12, 2), QTime(10, 15, 7));
        const ReceivedReport report{QStringLiteral("1001"), {}, at, {{QStringLiteral("01"), {}, 1, {}, {}, {}}}};
        const QString family = QStringLiteral("unit 1001 ");
        const QString a = family + QStringLiteral("aaaa"), b = family + QStringLiteral("bbbb");
        const QString other = QStringLiteral("unit 1002 aaaa"), longer = family + QStringLiteral("aaaaa");
        SqlReportStore store(*conn);
        const QList<std::pair<QString, QString>> steps{{a, family}, {other, QStringLiteral("unit 1002 ")},
                                                       {longer, QString()}, {a, family}, {b, family}, {a, family}};
        for (const auto& [key, keyFamily] : steps)
            QVERIFY(store.storeOnce(report, key, keyFamily));
        // a, other, longer, (a repeated), b, a again: five reports; the keys
        // of another unit and of another length are left alone.
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldingen")), 5);
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldingsleutel")), 3);
        auto again = store.storeOnce(report, a, family);
        QVERIFY(again && again->repeat);
    }

    void unknownTransmitterAndPointAreAdded()
    {
        test::TestDatabase db;
        auto conn = db.connect();
        SqlReportStore store(*conn);
        ReceivedReport r{QStringLiteral("7070"),
                         QStringLiteral("Gemaal Noord"),
                         QDateTime(QDate(2026, 12, 2), QTime(3, 0)),
                         {}};
        r.lines.append({QStringLiteral("11"), QStringLiteral("Pomp storing"), 1, {}, {}, {}});
        r.lines.append({QStringLiteral("11"), QStringLiteral("Pomp storing"), 0, {}, {}, {}});
        QVERIFY(store.store(r));
        QVERIFY(store.store(r)); // the second time both are found
        QCOMPARE(
            number(
                *conn,
                QStringLiteral(
                    "SELECT COUNT(*) FROM melders WHERE alias = '7070' AND naam = 'Gemaal Noord' "
                    "AND \"new\" = true AND actief = true")),
            1);
        QCOMPARE(
            number(*conn, QStringLiteral("SELECT COUNT(*) FROM alarmen WHERE functie = '11' AND "
                                         "omschrijving = 'Pomp storing' AND actief = true")),
            1);
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldindex")), 4);

        // A long report (a panel dumping its whole state) is stored whole, in order.
        ReceivedReport big{QStringLiteral("7070"), {}, r.receivedAt, {}};
        for (int i = 0; i < 250; ++i)
            big.lines.append({QStringLiteral("P%1").arg(i), {}, i % 2, {}, {}, {}});
        auto id = store.store(big);
        QVERIFY(id);
        QCOMPARE(number(*conn,
                        QStringLiteral("SELECT COUNT(*) FROM meldindex WHERE melding_id = ?"),
                        {*id}),
                 250);
        QCOMPARE(number(*conn,
                        QStringLiteral("SELECT SUM(flank) FROM meldindex WHERE melding_id = ?"),
                        {*id}),
                 125);
    }

    // A database file deleted or swapped under a running receiver: storing
    // into what it still holds open would lose the report for good.
    void vanishedDatabaseFileIsRefused_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("said");
        QTest::newRow("deleted") << QStringLiteral("deleted") << QStringLiteral("is verdwenen");
        QTest::newRow("replaced by a copy") << QStringLiteral("replaced") << QStringLiteral("is vervangen");
    }
    void vanishedDatabaseFileIsRefused()
    {
        QFETCH(QString, what);
        QFETCH(QString, said);
        test::TestDatabase db;
        if (db.onPostgres())
            QSKIP("a PostgreSQL database has no file to lose");
        auto conn = db.connect();
        SqlReportStore store(*conn);
        ReceivedReport r{QStringLiteral("7070"), QStringLiteral("Gemaal Noord"), QDateTime(QDate(2026, 12, 2), QTime(3, 0)), {}};
        r.lines.append({QStringLiteral("11"), QStringLiteral("Pomp storing"), 1, {}, {}, {}});
        QVERIFY(store.store(r));
        QVERIFY(conn->fileStillThere());

        const QString copy = db.path() + QStringLiteral(".kopie");
        QVERIFY(QFile::copy(db.path(), copy));
        QVERIFY(QFile::remove(db.path()));
        if (what == QLatin1String("replaced"))
            QVERIFY(QFile::rename(copy, db.path()));
        const Status there = conn->fileStillThere();
        QVERIFY(!there);
        QVERIFY2(there.error().contains(said), qPrintable(there.error()));
        const auto refused = store.store(r);
        QVERIFY(!refused);
        QVERIFY2(refused.error().contains(QStringLiteral("Melding niet opgeslagen")), qPrintable(refused.error()));
    }

    // A transmitter repeats a report when it missed our acknowledgement; any
    // receiver on any station (its own connection here) must know it.
    void repeatIsStoredOnce_data()
    {
        QTest::addColumn<QString>("secondKey");
        QTest::addColumn<int>("secondAfterSecs");
        QTest::addColumn<bool>("otherStation");
        QTest::addColumn<int>("reports");
        const QString key = QStringLiteral("1001;17;1A2B");
        QTest::newRow("repeat a minute later") << key << 60 << false << 1;
        QTest::newRow("repeat at another station") << key << 60 << true << 1;
        QTest::newRow("repeat just inside a day") << key << 24 * 3600 << false << 1;
        QTest::newRow("same mark after a day") << key << 24 * 3600 + 1 << false << 2;
        QTest::newRow("next sequence number") << QStringLiteral("1001;18;1A2C") << 60 << false << 2;
    }

    void repeatIsStoredOnce()
    {
        QFETCH(QString, secondKey);
        QFETCH(int, secondAfterSecs);
        QFETCH(bool, otherStation);
        QFETCH(int, reports);
        test::TestDatabase db;
        auto conn = db.connect();
        auto other = db.connect();
        const QDateTime at(QDate(2026, 12, 2), QTime(10, 15, 7));
        ReceivedReport report{QStringLiteral("1001"), {}, at, {{QStringLiteral("01"), {}, 1, {}, {}, {}}}};
        auto first = SqlReportStore(*conn).storeOnce(report, QStringLiteral("1001;17;1A2B"));
        QVERIFY2(first, qPrintable(first.error()));
        QVERIFY(!first->repeat);
        report.receivedAt = at.addSecs(secondAfterSecs);
        auto second = SqlReportStore(otherStation ? *other : *conn).storeOnce(report, secondKey);
        QVERIFY2(second, qPrintable(second.error()));
        QCOMPARE(second->repeat, reports == 1);
        QCOMPARE(second->meldingId == first->meldingId, reports == 1);
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldingen")), reports);
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldindex")), reports);
        // Old marks are pruned by the next report, so the table stays small.
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldingsleutel")),
                 secondAfterSecs > 24 * 3600 && secondKey == QStringLiteral("1001;17;1A2B") ? 1 : reports);
    }

    // A report that cannot be stored leaves no mark, so its repeat is stored.
    void failedReportLeavesNoMark()
    {
        test::TestDatabase db;
        if (db.onPostgres())
            QSKIP("the refused write is an SQLite trigger");
        auto conn = db.connect();
        QVERIFY(conn->exec(QStringLiteral("CREATE TRIGGER refuse_lines BEFORE INSERT ON meldindex "
                                          "BEGIN SELECT RAISE(ABORT, 'schijf vol'); END"))
                    .ok());
        const ReceivedReport report{QStringLiteral("1001"), {}, QDateTime(QDate(2026, 12, 2), QTime(10, 15, 7)),
                                    {{QStringLiteral("01"), {}, 1, {}, {}, {}}}};
        const QString key = QStringLiteral("1001;2;0000");
        QVERIFY(!SqlReportStore(*conn).storeOnce(report, key));
        QVERIFY(conn->exec(QStringLiteral("DROP TRIGGER refuse_lines")).ok());
        auto stored = SqlReportStore(*conn).storeOnce(report, key);
        QVERIFY2(stored, qPrintable(stored.error()));
        QVERIFY(!stored->repeat);
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldingen")), 1);
        QCOMPARE(number(*conn, QStringLiteral("SELECT COUNT(*) FROM meldingsleutel")), 1);
    }
};

QTEST_GUILESS_MAIN(TstReportStore)
#include "tst_reportstore.moc"
