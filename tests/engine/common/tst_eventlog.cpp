#include "EventLog.h"
#include "FakeClock.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace taviro;

class TestEventLog : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void levelDecidesScreen_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("onScreen");
        QTest::newRow("level 0 on screen and in file") << 0 << true;
        QTest::newRow("level 1 only in file") << 1 << false;
        QTest::newRow("level 5 only in file") << 5 << false;
    }
    void levelDecidesScreen()
    {
        QFETCH(int, level);
        QFETCH(bool, onScreen);
        QTemporaryDir dir;
        test::FakeClock clock(QDateTime(QDate(2026, 12, 4), QTime(9, 5, 7)));
        EventLog log(clock, dir.path() + QStringLiteral("/Logger/"));
        QSignalSpy screen(&log, &EventLog::screenLine);
        log.writeLog(QStringLiteral("Modem 'COM2' reageert niet – €"), level);

        QCOMPARE(screen.count(), onScreen ? 1 : 0);
        if (onScreen)
            QCOMPARE(screen.first().first().toString(),
                     QStringLiteral("04-12-2026 09:05:07 : Modem 'COM2' reageert niet – €"));
        // The file is named by the day and holds the line with CR LF, in UTF-8.
        QCOMPARE(read(dir.path() + QStringLiteral("/Logger/04-12-2026.txt")),
                 QStringLiteral("04-12-2026 09:05:07 Modem 'COM2' reageert niet – €\r\n").toUtf8());
    }

    void linesAroundMidnightGoToTwoFiles()
    {
        QTemporaryDir dir;
        test::FakeClock clock(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
        EventLog log(clock, dir.path() + QLatin1Char('/'));
        log.writeLog(QStringLiteral("voor"), 1);
        clock.advanceSecs(1);
        log.writeLog(QStringLiteral("na"), 1);
        log.writeLog(QStringLiteral("nog een"), 1);
        QCOMPARE(read(dir.filePath(QStringLiteral("31-12-2026.txt"))), QByteArray("31-12-2026 23:59:59 voor\r\n"));
        QCOMPARE(read(dir.filePath(QStringLiteral("01-01-2027.txt"))),
                 QByteArray("01-01-2027 00:00:00 na\r\n01-01-2027 00:00:00 nog een\r\n"));
    }

    void unwritableFolderDoesNotStopTheCaller()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("Logger")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        test::FakeClock clock;
        EventLog log(clock, dir.filePath(QStringLiteral("Logger/")));
        QSignalSpy screen(&log, &EventLog::screenLine);
        log.writeLog(QStringLiteral("alarm"), 0);
        QCOMPARE(screen.count(), 1); // the operator still sees it
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
