#include "DutyResolver.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "Installation.h"
#include "ScheduleCache.h"
#include "TestDatabase.h"

#include <QTest>

using namespace taviro;

// Duty cells hold 1000 + cell number (schedule A) or 2000 + cell number
// (schedule B), so every expected recipient names the cell it came from.
class TstDutyResolver : public QObject
{
    Q_OBJECT
private:
    test::TestDatabase m_db;
    ConnectorPtr m_conn;
    ScheduleCache m_cache;
    qint64 m_weekA = 0, m_weekB = 0, m_year = 0, m_emptyYear = 0;

    QString resolve(const QDateTime& now, ScheduleMode mode, qint64 schedule,
                    bool einddienst = false, const QString& eindtijd = {},
                    DutyOutcome* outcome = nullptr)
    {
        DutyOutcome out;
        DutyResolver(m_cache, now, einddienst, eindtijd)
            .addOnDutyRecipients({{7, schedule}}, mode, out);
        QStringList ids;
        for (const DutyPair& p : out.pairs)
            ids << QString::number(p.recipientId);
        if (outcome)
            *outcome = out;
        return ids.join(QLatin1Char(','));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_db.ok(), qPrintable(m_db.error()));
        m_conn = m_db.connect();
        test::Installation inst(*m_conn);
        WeekPlanning a = inst.weekTemplate(QStringLiteral("A"));
        WeekPlanning b = inst.weekTemplate(QStringLiteral("B"));
        for (int n = 0; n < WeekPlanning::kCells; ++n) {
            a.cells[n] = 1000 + n;
            b.cells[n] = 2000 + n;
        }
        m_weekA = inst.week(a);
        m_weekB = inst.week(b);
        m_year = inst.year(QStringLiteral("J"), m_weekA, [&](JaarPlanning& y) {
            y.weeks[49 - 1] = m_weekB;
            y.weeks[53 - 1] = m_weekB;
        });
        m_emptyYear = inst.year(QStringLiteral("LEEG"), 0);
        QVERIFY2(inst.ok(), qPrintable(inst.error()));
        QVERIFY(m_cache.load(*m_conn).ok());
    }

    void onDuty_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("yearMode");
        QTest::addColumn<bool>("einddienst");
        QTest::addColumn<QString>("expected");
        auto at = [](int y, int m, int d, int h, int min) {
            return QDateTime(QDate(y, m, d), QTime(h, min));
        };
        // 2026-12-02 is a Wednesday in ISO week 49.
        QTest::newRow("wednesday 10:15 block 0") << at(2026, 12, 2, 10, 15) << false << false << "1006,1027,1048";
        QTest::newRow("wednesday 20:00 block 1") << at(2026, 12, 2, 20, 0) << false << false << "1007,1028,1049";
        QTest::newRow("block start is inclusive") << at(2026, 12, 2, 16, 30) << false << false << "1007,1028,1049";
        QTest::newRow("one minute before") << at(2026, 12, 2, 16, 29) << false << false << "1006,1027,1048";
        QTest::newRow("thursday 03:00 night duty") << at(2026, 12, 3, 3, 0) << false << false << "1007,1028,1049";
        QTest::newRow("thursday 7:59") << at(2026, 12, 3, 7, 59) << false << false << "1007,1028,1049";
        QTest::newRow("monday 03:00 sunday's block") << at(2026, 12, 7, 3, 0) << false << false << "1019,1040,1061";
        QTest::newRow("year: week 49 wednesday") << at(2026, 12, 2, 10, 15) << true << false << "2006,2027,2048";
        QTest::newRow("year: week 50 wednesday") << at(2026, 12, 9, 10, 15) << true << false << "1006,1027,1048";
        QTest::newRow("year: monday takes last week's schedule")
            << at(2026, 12, 7, 3, 0) << true << false << "2019,2040,2061";
        QTest::newRow("year: week 53") << at(2026, 12, 30, 10, 15) << true << false << "2006,2027,2048";
        QTest::newRow("year: week 1 monday night is week 53's sunday")
            << at(2027, 1, 4, 3, 0) << true << false << "2019,2040,2061";
        QTest::newRow("year: week 1 monday day") << at(2027, 1, 4, 10, 0) << true << false << "1000,1021,1042";
        QTest::newRow("end of duty: 21:59 still on") << at(2026, 12, 2, 21, 59) << false << true << "1007,1028,1049";
        QTest::newRow("end of duty: 22:00 nobody") << at(2026, 12, 2, 22, 0) << false << true << "";
        QTest::newRow("end of duty: night nobody") << at(2026, 12, 3, 3, 0) << false << true << "";
    }

    void onDuty()
    {
        QFETCH(QDateTime, now);
        QFETCH(bool, yearMode);
        QFETCH(bool, einddienst);
        QFETCH(QString, expected);
        QCOMPARE(resolve(now, yearMode ? ScheduleMode::Year : ScheduleMode::Week,
                         yearMode ? m_year : m_weekA, einddienst, QStringLiteral("22:00")),
                 expected);
    }

    void emptyCellsAndSingleBlock()
    {
        WeekPlanning w = test::Installation(*m_conn).weekTemplate(QStringLiteral("C"));
        w.Rij2Actief = false;
        w.cells[WeekPlanning::cellIndex(0, 2, 0)] = 12; // Wednesday block 0, first position only
        w.cells[WeekPlanning::cellIndex(1, 2, 0)] =
            12; // same person twice: two pairs, merged later
        const qint64 id = test::Installation(*m_conn).week(w);
        QVERIFY(m_cache.load(*m_conn).ok());
        QCOMPARE(resolve(QDateTime(QDate(2026, 12, 2), QTime(10, 0)), ScheduleMode::Week, id),
                 QStringLiteral("12,12"));
        // Only one block in use: before 8:00 on Thursday, Wednesday's block 0 is on duty.
        QCOMPARE(resolve(QDateTime(QDate(2026, 12, 3), QTime(7, 0)), ScheduleMode::Week, id),
                 QStringLiteral("12,12"));
    }

    void missingSchedulesAreReported_data()
    {
        QTest::addColumn<bool>("yearMode");
        QTest::addColumn<qint64>("schedule");
        QTest::addColumn<QString>("problem");
        QTest::newRow("week schedule gone") << false << qint64(999) << "Weekrooster 999 bestaat niet";
        QTest::newRow("year schedule gone") << true << qint64(998) << "Jaarrooster 998 bestaat niet";
        QTest::newRow("empty week entry") << true << qint64(-1) << "heeft geen weekrooster voor week 49";
    }

    void missingSchedulesAreReported()
    {
        QFETCH(bool, yearMode);
        QFETCH(qint64, schedule);
        QFETCH(QString, problem);
        DutyOutcome out;
        resolve(QDateTime(QDate(2026, 12, 2), QTime(10, 0)),
                yearMode ? ScheduleMode::Year : ScheduleMode::Week,
                schedule < 0 ? m_emptyYear : schedule, false, {}, &out);
        QVERIFY(out.pairs.isEmpty());
        QCOMPARE(out.unresolvedLines, QList<qint64>{7});
        QVERIFY2(out.problems.value(0).contains(problem), qPrintable(out.problems.value(0)));
    }

    void readsStoredTimes_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read"); // "h:mm", or empty for no time
        QTest::newRow("editor form") << "16:30" << "16:30";
        QTest::newRow("no leading zeros") << "8:5" << "8:05";
        QTest::newRow("two-digit hours") << "08:05" << "8:05";
        QTest::newRow("with seconds") << "16:30:00" << "16:30";
        QTest::newRow("seconds do not count") << "16:30:59" << "16:30";
        QTest::newRow("end of day") << "24:00" << "24:00";
        QTest::newRow("end of day with seconds") << "24:00:00" << "24:00";
        QTest::newRow("blanks around") << " \t7:45 " << "7:45";
        QTest::newRow("midnight") << "0:00" << "0:00";
        QTest::newRow("garbage") << "abc" << "";
        QTest::newRow("out of range") << "25:61" << "";
        QTest::newRow("minutes 60") << "8:60" << "";
        QTest::newRow("past the end of day") << "24:30" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("no colon") << "8" << "";
        QTest::newRow("dot") << "8.00" << "";
        QTest::newRow("minus") << "-1:00" << "";
    }

    void readsStoredTimes()
    {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        const auto t = DutyTime::read(stored);
        QCOMPARE(t ? t->text() : QString(), read);
    }

    // The second block starts at 16:30 however another program stored it; a
    // block whose start is no time is left out and the block before runs on.
    void blockStartsInEveryStoredForm_data()
    {
        QTest::addColumn<QString>("t2");
        QTest::addColumn<QTime>("at");
        QTest::addColumn<QString>("expected");
        // Wednesday: block 0 is cell 6, block 1 cell 7.
        QTest::newRow("seconds, before") << "16:30:00" << QTime(16, 15) << "6";
        QTest::newRow("seconds, at") << "16:30:00" << QTime(16, 30) << "7";
        QTest::newRow("blanks, before") << " 16:30 " << QTime(16, 29) << "6";
        QTest::newRow("blanks, at") << " 16:30 " << QTime(16, 30) << "7";
        QTest::newRow("short minutes") << "16:5" << QTime(16, 5) << "7";
        QTest::newRow("garbage: block 0 runs on") << "abc" << QTime(20, 0) << "6";
        QTest::newRow("out of range: block 0 runs on") << "25:61" << QTime(23, 59) << "6";
        QTest::newRow("empty: not midnight") << "" << QTime(9, 0) << "6";
    }

    void blockStartsInEveryStoredForm()
    {
        QFETCH(QString, t2);
        QFETCH(QTime, at);
        QFETCH(QString, expected);
        WeekPlanning w = test::Installation(*m_conn).weekTemplate(QStringLiteral("T"));
        for (int n = 0; n < WeekPlanning::kCells; ++n)
            w.cells[n] = n < 21 ? n : 0; // first position only, cell n holds n
        w.time2 = t2;
        const qint64 id = test::Installation(*m_conn).week(w);
        ScheduleCache cache;
        QVERIFY(cache.load(*m_conn).ok());
        DutyOutcome out;
        DutyResolver(cache, QDateTime(QDate(2026, 12, 2), at), false, {})
            .addOnDutyRecipients({{7, id}}, ScheduleMode::Week, out);
        QStringList ids;
        for (const DutyPair& p : out.pairs)
            ids << QString::number(p.recipientId);
        QCOMPARE(ids.join(QLatin1Char(',')), expected);
    }

    // An unreadable start is logged once when the schedules are loaded,
    // not for every report, and again only when it comes back after a fix.
    void unreadableStartIsLoggedOnce()
    {
        test::FakeClock clock;
        EventLog log(clock, m_db.folder() + QStringLiteral("/Logger/"));
        QStringList lines; // this schedule's; earlier cases left unreadable ones of their own
        connect(&log, &EventLog::screenLine, this, [&lines](const QString& line) {
            if (line.contains(QStringLiteral("(KAPOT)")))
                lines << line;
        });
        WeekPlanning w = test::Installation(*m_conn).weekTemplate(QStringLiteral("KAPOT"));
        w.time3 = QStringLiteral("25:61");
        const qint64 id = test::Installation(*m_conn).week(w);
        ScheduleCache cache;
        QVERIFY(cache.load(*m_conn, log).ok());
        QVERIFY(cache.load(*m_conn, log).ok());
        QCOMPARE(lines.size(), 1);
        QVERIFY2(
            lines.first().contains(
                QStringLiteral("Weekrooster %1 (KAPOT): begintijd \"25:61\" van blok 3").arg(id)),
            qPrintable(lines.first()));
        QVERIFY(m_conn
                    ->exec(QStringLiteral("UPDATE weekplanningen SET time3 = ? WHERE id = ?"),
                           {QStringLiteral("24:00"), id})
                    .ok());
        QVERIFY(cache.load(*m_conn, log).ok());
        QCOMPARE(lines.size(), 1);
        QVERIFY(m_conn
                    ->exec(QStringLiteral("UPDATE weekplanningen SET time3 = ? WHERE id = ?"),
                           {QStringLiteral("abc"), id})
                    .ok());
        QVERIFY(cache.load(*m_conn, log).ok());
        QCOMPARE(lines.size(), 2);
        log.disconnect(this);
    }

    // An end of duty that is no time leaves duty running to midnight rather
    // than silencing every schedule.
    void unreadableEndOfDuty()
    {
        const QDateTime evening(QDate(2026, 12, 2), QTime(23, 0));
        DutyOutcome out;
        const DutyResolver resolver(m_cache, evening, true, QStringLiteral("abc"));
        resolver.addOnDutyRecipients({{7, m_weekA}}, ScheduleMode::Week, out);
        QCOMPARE(out.pairs.size(), 3);
        QVERIFY(!resolver.eindtijdProblem().isEmpty());
        QVERIFY(DutyResolver(m_cache, evening, false, QStringLiteral("abc"))
                    .eindtijdProblem()
                    .isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstDutyResolver)
#include "tst_dutyresolver.moc"
