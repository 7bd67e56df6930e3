#include "DatabaseConnector.h"
#include "FakeClock.h"
#include "LegacyDatabase.h"
#include "SchemaUpgrade.h"
#include "SqlValues.h"

#include <QDir>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace taviro;

namespace {

const QDateTime kMoment(QDate(2024, 1, 31), QTime(23, 59, 59));

QVariant read(const QString& path, const QString& sql)
{
    auto c = DatabaseConnector::open(DatabaseSettings::fromText(path), DatabaseConnector::OpenMode::ReadOnly);
    if (!c)
        return QStringLiteral("<open failed: %1>").arg(c.error());
    auto v = (*c)->scalar(sql);
    return v ? *v : QVariant(QStringLiteral("<failed: %1>").arg(v.error()));
}

bool hasColumn(const QString& path, const QString& table, const QString& column)
{
    auto c = DatabaseConnector::open(DatabaseSettings::fromText(path), DatabaseConnector::OpenMode::ReadOnly);
    return c && (*c)->database().record(table).indexOf(column) >= 0;
}

QStringList backupsBeside(const QString& path)
{
    QFileInfo info(path);
    return QDir(info.absolutePath()).entryList({info.fileName() + QStringLiteral(".2*")}, QDir::Files);
}

} // namespace

class TestSchemaUpgrade : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void backupName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("expected");
        QTest::newRow("end of January") << QStringLiteral("/data/alarm.mdb") << kMoment
                                        << QStringLiteral("/data/alarm.mdb.20240131_235959");
        QTest::newRow("leading zeros") << QStringLiteral("/srv/taviro.db")
                                       << QDateTime(QDate(2026, 3, 5), QTime(7, 8, 9))
                                       << QStringLiteral("/srv/taviro.db.20260305_070809");
    }
    void backupName()
    {
        QFETCH(QString, path);
        QFETCH(QDateTime, moment);
        QFETCH(QString, expected);
        QCOMPARE(SchemaUpgrade::backupFileName(path, moment), expected);
    }

    void upgradesFromEachVersion_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("before 26 (no version column)") << 0;
        QTest::newRow("26") << 26;
        QTest::newRow("27") << 27;
        QTest::newRow("28") << 28;
        QTest::newRow("29") << 29;
        QTest::newRow("30") << 30;
    }
    void upgradesFromEachVersion()
    {
        QFETCH(int, version);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("old.db"));
        QVERIFY(test::createLegacyDatabase(path, version).ok());
        if (version >= 26) {
            // A site that already changed its mailbox port must keep it.
            auto c = DatabaseConnector::open(DatabaseSettings::fromText(path));
            QVERIFY((*c)->exec(QStringLiteral("UPDATE settings SET OntvangstPort = 995")).ok());
        }

        test::FakeClock clock(kMoment);
        SchemaUpgrade upgrade(DatabaseSettings::fromText(path), clock);
        QVERIFY2(upgrade.convertDatabase(), qPrintable(upgrade.error()));
        QCOMPARE(upgrade.versionFound(), version);

        const bool upgraded = version < 29;
        QCOMPARE(backupsBeside(path), upgraded ? QStringList{QStringLiteral("old.db.20240131_235959")} : QStringList{});
        QCOMPARE(read(path, QStringLiteral("SELECT DatabaseVersion FROM settings")).toInt(), upgraded ? 29 : version);

        // Carry-overs of each block, and the blocks that must not have run.
        QCOMPARE(read(path, QStringLiteral("SELECT OntvangstPort FROM settings")).toInt(), version == 0 ? 110 : 995);
        QCOMPARE(read(path, QStringLiteral("SELECT mailsubject FROM settings")).toString(),
                 version == 0 ? QStringLiteral("Taviro %MELDER% Alarm Melding") : QStringLiteral("Taviro Alarm Melding"));
        if (version == 0) {
            QCOMPARE(read(path, QStringLiteral("SELECT OnbemandeMeldingEmail FROM settings")).toString(),
                     QStringLiteral("wacht@example.nl"));
            QCOMPARE(read(path, QStringLiteral("SELECT OntvangstInterval FROM settings")).toInt(), 5);
            QCOMPARE(read(path, QStringLiteral("SELECT OntvangstTimeout FROM settings")).toInt(), 60);
            QCOMPARE(read(path, QStringLiteral("SELECT MailServerPort FROM settings")).toInt(), 25);
            QCOMPARE(read(path, QStringLiteral("SELECT group_concat(alias) FROM ontvangers WHERE UseSMS <> 0")).toString(),
                     QStringLiteral("SMS"));
            QCOMPARE(read(path, QStringLiteral("SELECT group_concat(alias) FROM ontvangers WHERE UseEmail <> 0")).toString(),
                     QStringLiteral("MAIL"));
        }
        if (version < 27) {
            QVERIFY(sql::toBool(read(path, QStringLiteral("SELECT OnbemandRoosterActief FROM settings"))));
            QVERIFY(sql::toBool(read(path, QStringLiteral("SELECT AutoBemandNaInloggen FROM settings"))));
            QVERIFY(sql::toBool(read(path, QStringLiteral("SELECT AutoOnbemandNaUitloggen FROM settings"))));
            QCOMPARE(read(path, QStringLiteral("SELECT zondag FROM settings")).toString(), QString(QLatin1String("")));
            QVERIFY(!sql::toBool(read(path, QStringLiteral("SELECT deleted FROM alarmen"))));
        }
        if (version < 28)
            QCOMPARE(read(path, QStringLiteral("SELECT databits || parity || stopbits FROM comports")).toString(),
                     QStringLiteral("8N1"));
        if (version < 29) {
            QCOMPARE(read(path, QStringLiteral("SELECT is_gsm FROM comports")).toInt(), 0);
        }

        // A second start finds version 29 and makes no second backup.
        clock.advanceSecs(5);
        SchemaUpgrade again(DatabaseSettings::fromText(path), clock);
        QVERIFY(again.convertDatabase());
        QVERIFY(again.backupPath().isEmpty());
        QCOMPARE(backupsBeside(path).size(), upgraded ? 1 : 0);
    }

    void backupHoldsTheOldDatabase()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("alarm.db"));
        QVERIFY(test::createLegacyDatabase(path, 0).ok());
        test::FakeClock clock(kMoment);
        SchemaUpgrade upgrade(DatabaseSettings::fromText(path), clock);
        QVERIFY(upgrade.convertDatabase());
        QVERIFY(!hasColumn(upgrade.backupPath(), QStringLiteral("settings"), QStringLiteral("DatabaseVersion")));
        QCOMPARE(read(upgrade.backupPath(), QStringLiteral("SELECT mailsubject FROM settings")).toString(),
                 QStringLiteral("Taviro Alarm Melding"));
        QVERIFY(hasColumn(path, QStringLiteral("comports"), QStringLiteral("is_gsm")));
    }

    void settingsWithoutARowAreAcceptedUnchanged()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("leeg.db"));
        QVERIFY(test::createLegacyDatabase(path, 0, false).ok());
        test::FakeClock clock(kMoment);
        SchemaUpgrade upgrade(DatabaseSettings::fromText(path), clock);
        QVERIFY(upgrade.convertDatabase());
        QVERIFY(backupsBeside(path).isEmpty());
        QVERIFY(!hasColumn(path, QStringLiteral("settings"), QStringLiteral("DatabaseVersion")));
        QVERIFY(!hasColumn(path, QStringLiteral("ontvangers"), QStringLiteral("UseSMS")));
    }

    // A step that fails half-way leaves the database as it was: the next start
    // meets the same old database, not one with half the columns added.
    void failedUpgradeLeavesDatabaseAsItWas()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kapot.db"));
        QVERIFY(test::createLegacyDatabase(path, 0).ok());
        {
            auto c = DatabaseConnector::open(DatabaseSettings::fromText(path));
            QVERIFY((*c)->exec(QStringLiteral("ALTER TABLE ontvangers DROP COLUMN methode1")).ok());
        }
        test::FakeClock clock(kMoment);
        for (int attempt = 0; attempt < 2; ++attempt) {
            SchemaUpgrade upgrade(DatabaseSettings::fromText(path), clock);
            QVERIFY(!upgrade.convertDatabase());
            QVERIFY2(upgrade.error().contains(QStringLiteral("methode1")), qPrintable(upgrade.error()));
            QVERIFY(QFileInfo::exists(upgrade.backupPath()));
            QVERIFY(!hasColumn(path, QStringLiteral("settings"), QStringLiteral("DatabaseVersion")));
            QVERIFY(!hasColumn(path, QStringLiteral("ontvangers"), QStringLiteral("UseSMS")));
            clock.advanceSecs(1);
        }
    }
};

QTEST_GUILESS_MAIN(TestSchemaUpgrade)
#include "tst_schemaupgrade.moc"
