#include "EventLog.h"
#include "FakeClock.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

    // Day files older than the kept number of days go, at the first line of
    // a day; anything else in the folder (overviews, stylesheets) stays.
    void oldDayFilesAreRemoved_data()
    {
        QTest::addColumn<int>("keepDays");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("removed");
        const QStringList always{QStringLiteral("07-12-2026.txt"), QStringLiteral("overzicht.xml"),
                                 QStringLiteral("notities.txt"), QStringLiteral("31-02-2020.txt")};
        QTest::newRow("default 400 days")
            << 0 << always + QStringList{QStringLiteral("03-11-2025.txt"), QStringLiteral("02-11-2025.txt")}
            << QStringList{QStringLiteral("01-11-2025.txt"), QStringLiteral("07-12-2020.txt")};
        QTest::newRow("a week") << 7 << always + QStringList{QStringLiteral("30-11-2026.txt")}
                                << QStringList{QStringLiteral("29-11-2026.txt"), QStringLiteral("02-11-2025.txt")};
    }
    void oldDayFilesAreRemoved()
    {
        QFETCH(int, keepDays);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, removed);
        QTemporaryDir dir;
        for (const QString& name : kept + removed) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        test::FakeClock clock(QDateTime(QDate(2026, 12, 7), QTime(9, 0)));
        EventLog log(clock, dir.path() + QLatin1Char('/'));
        if (keepDays > 0)
            log.setKeepDays(keepDays);
        log.writeLog(QStringLiteral("eerste regel"), 1);
        for (const QString& name : kept)
            QVERIFY2(QFile::exists(dir.filePath(name)), qPrintable(name));
        for (const QString& name : removed)
            QVERIFY2(!QFile::exists(dir.filePath(name)), qPrintable(name));

        // The next day the oldest kept file goes too.
        const QString oldest = kept.last();
        clock.advanceSecs(24 * 3600);
        log.writeLog(QStringLiteral("volgende dag"), 1);
        QVERIFY(!QFile::exists(dir.filePath(oldest)));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("overzicht.xml"))));
    }

    // What reaches the system journal: its readers are not all in the
    // control room, so only level-0 lines without phone numbers unless the
    // installer asks for more; a stderr that is no journal gets plain lines.
    void stderrEcho_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QString>("journalLevel");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain stderr") << false << QString()
                                      << QByteArray("SMS aan Jan (+31 6 12345678) verzonden\nDetail 0612345678\n");
        QTest::newRow("journal, default") << true << QString() << QByteArray("<4>SMS aan Jan ([nummer]) verzonden\n");
        QTest::newRow("journal, level 1 asked")
            << true << QStringLiteral("1")
            << QByteArray("<4>SMS aan Jan (+31 6 12345678) verzonden\n<6>Detail 0612345678\n");
    }
    void stderrEcho()
    {
        QFETCH(bool, journal);
        QFETCH(QString, journalLevel);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QByteArray captured = QFile::encodeName(dir.filePath(QStringLiteral("stderr")));
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int fd = ::open(captured.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY(saved >= 0 && fd >= 0);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
        struct stat st = {};
        ::fstat(STDERR_FILENO, &st);
        if (journal)
            qputenv("JOURNAL_STREAM", QByteArray::number(qulonglong(st.st_dev)) + ':' + QByteArray::number(qulonglong(st.st_ino)));
        else
            qputenv("JOURNAL_STREAM", "1:2");
        qputenv("TAVIRO_JOURNAL_LEVEL", journalLevel.toUtf8());

        test::FakeClock clock;
        EventLog log(clock, dir.filePath(QStringLiteral("Logger/")));
        log.setEchoToStderr(true);
        log.writeLog(QStringLiteral("SMS aan Jan (+31 6 12345678) verzonden"), 0);
        log.writeLog(QStringLiteral("Detail 0612345678"), 1);
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        qunsetenv("JOURNAL_STREAM");
        qunsetenv("TAVIRO_JOURNAL_LEVEL");
        QCOMPARE(read(QFile::decodeName(captured)), expected);
        // The day file keeps every line whole.
        QVERIFY(read(log.fileFor(clock.now())).contains("Detail 0612345678"));
    }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
