#include "OverzichtBuilder.h"
#include "OverzichtJob.h"
#include "MailOutbox.h"
#include "ReportFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>

using namespace taviro;
using namespace taviro::test;

namespace {

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString child(const QString& name, const QString& value)
{
    return QStringLiteral("    <%1>%2</%1>\r\n").arg(name, value);
}

QString alarm(const QString& attrs, const QStringList& v)
{
    return QStringLiteral("<alarm %1>").arg(attrs) + child(QStringLiteral("functie"), v[0])
           + child(QStringLiteral("omschrijving"), v[1]) + child(QStringLiteral("uitgemeld"), v[2])
           + child(QStringLiteral("uitgemeldop"), v[3]) + child(QStringLiteral("bevestigd"), v[4])
           + child(QStringLiteral("bevestigdop"), v[5]) + QStringLiteral("</alarm>");
}

} // namespace

class TestOverzicht : public QObject
{
    Q_OBJECT

    OverzichtRequest request(const ReportFixture& f, bool inactive = true,
                             const QString& xsl = overzicht::kPeriodStylesheet)
    {
        return {{f.melder}, QDate(2026, 12, 2), QDate(2026, 12, 2), inactive, xsl};
    }

    QString m_logger;
    QTemporaryDir m_dir;

    void copyStylesheet(const QString& stylesheet)
    {
        QDir().mkpath(m_logger);
        QFile::remove(m_logger + stylesheet);
        QVERIFY(QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/") + stylesheet, m_logger + stylesheet));
    }

private Q_SLOTS:
    void init() { m_logger = m_dir.path() + QStringLiteral("/Logger/"); }

    void documentMatchesTheMorning()
    {
        ReportFixture f;
        f.morning();
        auto built = OverzichtBuilder(*f.conn, m_logger).build(request(f));
        QVERIFY2(built, qPrintable(built.error()));
        QCOMPARE(built->meldingen, 4);

        const QString op = QStringLiteral("flank=\"op\"");
        const QString expected =
            QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>"
                           "<?xml-stylesheet type='text/xsl' href='overzicht.xsl'?>"
                           "<overzicht van=\"2026-12-02\" tot=\"2026-12-02\">")
            + QStringLiteral("<melding id=\"1\" date=\"2026 02-12 10:15\" bemand=\"false\" alias=\"1001\" naam=\"Kantoor Centrum\">")
            + alarm(QStringLiteral("id=\"%1\" date=\"02-12 10:15\" ").arg(f.inbraak) + op,
                    {QStringLiteral("01"), QStringLiteral("Inbraak hal"), QStringLiteral("JAN"), QStringLiteral("02-12 10:16"),
                     QStringLiteral("op1"), QStringLiteral("02-12 10:30")})
            + alarm(QStringLiteral("id=\"%1\" date=\"02-12 10:15\" ").arg(f.inbraak) + op,
                    {QStringLiteral("01"), QStringLiteral("Inbraak hal"), QStringLiteral("MAR"), QStringLiteral("02-12 10:16"),
                     QStringLiteral("MAR"), QStringLiteral("02-12 10:40")})
            + alarm(QStringLiteral("id=\"%1\" date=\"02-12 10:15\" flank=\"af\"").arg(f.brand),
                    {QStringLiteral("02"), QStringLiteral("Brand keuken"), {}, QStringLiteral("INACTIEF"), {}, {}})
            + QStringLiteral("</melding>")
            + QStringLiteral("<melding id=\"2\" date=\"2026 02-12 09:00\" bemand=\"true\" alias=\"1001\" naam=\"Kantoor Centrum\">")
            + alarm(QStringLiteral("id=\"%1\" date=\"02-12 09:00\" ").arg(f.inbraak) + op,
                    {QStringLiteral("01"), QStringLiteral("Inbraak hal"), {}, QStringLiteral("BEMAND"), {}, {}})
            + QStringLiteral("</melding>")
            + QStringLiteral("<melding id=\"3\" date=\"2026 02-12 08:00\" bemand=\"false\" alias=\"1001\" naam=\"Kantoor Centrum\">")
            + alarm(QStringLiteral("id=\"%1\" date=\"02-12 08:00\" ").arg(f.brand) + op,
                    {QStringLiteral("02"), QStringLiteral("Brand keuken"), {}, QStringLiteral("GEEN ONTV."), {}, {}})
            + QStringLiteral("</melding>")
            + QStringLiteral("<melding id=\"4\" date=\"2026 02-12 07:00\" bemand=\"false\" alias=\"1001\" naam=\"Kantoor Centrum\">")
            + alarm(QStringLiteral("id=\"%1\" date=\"02-12 07:00\" ").arg(f.dagtest) + op,
                    {QStringLiteral("03"), QStringLiteral("Dagtest"), {}, QStringLiteral("24 UURS OK"), {}, {}})
            + QStringLiteral("</melding>")
            + QStringLiteral("<melder id=\"%1\">").arg(f.melder) + child(QStringLiteral("naam"), QStringLiteral("Kantoor Centrum"))
            + child(QStringLiteral("alias"), QStringLiteral("1001")) + child(QStringLiteral("adres"), QStringLiteral("Stationsweg 1"))
            + child(QStringLiteral("plaats"), QStringLiteral("Baarn")) + QStringLiteral("</melder></overzicht>");
        QCOMPARE(readAll(m_logger + QStringLiteral("overzicht.xml")), expected);
    }

    void reportsInRange_data()
    {
        QTest::addColumn<QDateTime>("received");
        QTest::addColumn<bool>("listed");
        QTest::newRow("first day 00:00") << QDateTime(QDate(2026, 12, 1), QTime(0, 0)) << true;
        QTest::newRow("day before 23:59") << QDateTime(QDate(2026, 11, 30), QTime(23, 59, 59)) << false;
        QTest::newRow("last day 23:59") << QDateTime(QDate(2026, 12, 3), QTime(23, 59)) << true;
        QTest::newRow("day after 00:00") << QDateTime(QDate(2026, 12, 4), QTime(0, 0)) << false;
    }
    void reportsInRange()
    {
        QFETCH(QDateTime, received);
        QFETCH(bool, listed);
        ReportFixture f;
        const qint64 m = f.melding(received, false);
        // Three lines of one report are one melding with three alarms.
        for (qint64 point : {f.inbraak, f.brand, f.inbraak})
            f.line(m, point, 1, received);
        OverzichtRequest r{{f.melder}, QDate(2026, 12, 1), QDate(2026, 12, 3), false, overzicht::kPeriodStylesheet};
        auto built = OverzichtBuilder(*f.conn, m_logger).build(r);
        QVERIFY(built);
        QCOMPARE(built->meldingen, listed ? 1 : 0);
        QCOMPARE(built->alarms, listed ? 3 : 0);
    }

    void inactiveLines_data()
    {
        QTest::addColumn<bool>("includeInactive");
        QTest::addColumn<int>("meldingen");
        QTest::newRow("excluded: a report of only inactive lines is not found") << false << 0;
        QTest::newRow("included") << true << 1;
    }
    void inactiveLines()
    {
        QFETCH(bool, includeInactive);
        QFETCH(int, meldingen);
        ReportFixture f;
        f.line(f.melding(f.at(2, 12, 0), false), f.brand, 1, f.at(2, 12, 0), false);
        auto built = OverzichtBuilder(*f.conn, m_logger).build(request(f, includeInactive));
        QVERIFY(built);
        QCOMPARE(built->meldingen, meldingen);
    }

    void noTransmitterChosenGivesTheEmptyRoot()
    {
        ReportFixture f;
        f.morning();
        OverzichtRequest r{{}, QDate(2026, 12, 2), QDate(2026, 12, 2), true, overzicht::kDayStylesheet};
        QVERIFY(OverzichtBuilder(*f.conn, m_logger).build(r));
        QCOMPARE(readAll(m_logger + QStringLiteral("overzicht.xml")),
                 QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>"
                                "<?xml-stylesheet type='text/xsl' href='overzicht2.xsl'?>"
                                "<overzicht van=\"2026-12-02\" tot=\"2026-12-02\"/>"));
    }

    void stylesheetsShowEveryRow_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::newRow("period") << overzicht::kPeriodStylesheet;
        QTest::newRow("day") << overzicht::kDayStylesheet;
    }
    void stylesheetsShowEveryRow()
    {
        QFETCH(QString, stylesheet);
        ReportFixture f;
        f.morning();
        QDir().mkpath(m_logger);
        QFile::remove(m_logger + stylesheet);
        QVERIFY(QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/") + stylesheet, m_logger + stylesheet));
        const OverzichtOutcome out = OverzichtJob::run(*f.conn, m_logger, request(f, true, stylesheet));
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QCOMPARE(out.html.count(QStringLiteral("Inbraak hal")), 3); // Jan's, Marieke's and the manned one
        QCOMPARE(out.html.count(QStringLiteral("Brand keuken")), 2);
        QCOMPARE(out.html.count(QStringLiteral("Dagtest")), 1);
        for (const char* text : {">JAN<", ">MAR<", ">op1<", "INACTIEF", "BEMAND", "GEEN ONTV.", "24 UURS OK",
                                 "02-12 10:40", "Kantoor Centrum", "Stationsweg 1"})
            QVERIFY2(out.html.contains(QLatin1String(text)), text);
    }

    // An e-mail waiting for the mail server is not shown as sent: the
    // overview names what the outbox knows beside the recipient.
    void mailStateStandsBesideTheRecipient_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("period, waiting") << overzicht::kPeriodStylesheet << 0 << "JAN (e-mail in wachtrij)";
        QTest::newRow("day, waiting") << overzicht::kDayStylesheet << 0 << "JAN (e-mail in wachtrij)";
        QTest::newRow("period, given up") << overzicht::kPeriodStylesheet << 2 << "JAN (e-mail mislukt)";
        QTest::newRow("day, sent") << overzicht::kDayStylesheet << 1 << "JAN (e-mail verzonden)";
    }
    void mailStateStandsBesideTheRecipient()
    {
        QFETCH(QString, stylesheet);
        QFETCH(int, status);
        QFETCH(QString, shown);
        ReportFixture f;
        f.morning();
        const qint64 janDispatch = f.number(QStringLiteral("SELECT id FROM uitmeld WHERE ontvanger_id = ?"), {f.jan});
        QVERIFY(outbox::queueMail(*f.conn, {outbox::dispatchKey(janDispatch), janDispatch, QStringLiteral("jan@a.nl"),
                                            {}, {}, {}, {}, {}}));
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE mailwachtrij SET status = ?"), {status}));
        copyStylesheet(stylesheet);
        const OverzichtOutcome out = OverzichtJob::run(*f.conn, m_logger, request(f, true, stylesheet));
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QVERIFY2(out.html.contains(shown), qPrintable(out.html));
        QCOMPARE(out.html.count(QStringLiteral("(e-mail ")), 1); // Marieke's dispatch has no mail
    }

    // The heading names the days asked for, not the first and last report,
    // which run newest first per transmitter and may not exist at all.
    void headingShowsThePeriodAskedFor_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::addColumn<QList<qint64>>("melders"); // empty: the morning's transmitter and a quiet one
        QTest::addColumn<QString>("heading");
        QTest::newRow("period") << overzicht::kPeriodStylesheet << QList<qint64>() << QStringLiteral("van 01-11-2026 tot 31-12-2026");
        QTest::newRow("period, no reports") << overzicht::kPeriodStylesheet << QList<qint64>{999}
                                            << QStringLiteral("van 01-11-2026 tot 31-12-2026");
        QTest::newRow("day") << overzicht::kDayStylesheet << QList<qint64>() << QStringLiteral("dagoverzicht 01-11-2026");
        QTest::newRow("day, no reports") << overzicht::kDayStylesheet << QList<qint64>{999}
                                         << QStringLiteral("dagoverzicht 01-11-2026");
    }
    void headingShowsThePeriodAskedFor()
    {
        QFETCH(QString, stylesheet);
        QFETCH(QList<qint64>, melders);
        QFETCH(QString, heading);
        ReportFixture f;
        f.morning();
        const qint64 quiet = Installation(*f.conn).transmitter(QStringLiteral("1009"), QStringLiteral("Stil depot"), 0, 0, 0);
        copyStylesheet(stylesheet);
        const QDate to = stylesheet == overzicht::kPeriodStylesheet ? QDate(2026, 12, 31) : QDate(2026, 11, 1);
        const OverzichtRequest r{melders.isEmpty() ? QList<qint64>{quiet, f.melder} : melders, QDate(2026, 11, 1), to, true,
                                 stylesheet};
        const OverzichtOutcome out = OverzichtJob::run(*f.conn, m_logger, r);
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QVERIFY2(out.html.simplified().contains(heading), qPrintable(out.html.left(3000)));
    }

    // A long overview comes in pages of its own; together they hold every
    // report once, in order, and each page tells the figures of the whole.
    void pagesTogetherHoldEveryReport_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::addColumn<int>("reports");
        QTest::addColumn<int>("pages");
        QTest::newRow("period, 250") << overzicht::kPeriodStylesheet << 250 << 3;
        QTest::newRow("day, 250") << overzicht::kDayStylesheet << 250 << 3;
        QTest::newRow("day, exactly one page") << overzicht::kDayStylesheet << 100 << 1;
        QTest::newRow("period, none") << overzicht::kPeriodStylesheet << 0 << 1;
        QTest::newRow("day, none") << overzicht::kDayStylesheet << 0 << 1;
    }
    void pagesTogetherHoldEveryReport()
    {
        QFETCH(QString, stylesheet);
        QFETCH(int, reports);
        QFETCH(int, pages);
        ReportFixture f;
        // A second transmitter with reports after the first one's, and a
        // quiet one between them: its section stays where it belongs.
        Installation inst(*f.conn);
        const qint64 quiet = inst.transmitter(QStringLiteral("1009"), QStringLiteral("Stil depot"), 0, 0, 0);
        const qint64 other = inst.transmitter(QStringLiteral("1010"), QStringLiteral("Werf Noord"), 0, 0, 0);
        const qint64 otherPoint = inst.point(other, QStringLiteral("01"), QStringLiteral("Deur werf"));
        for (int i = 0; i < reports; ++i) {
            const QDateTime when = f.at(2, 0, 0).addSecs(60 * i);
            const bool first = i < reports * 3 / 5;
            const qint64 l = f.line(f.melding(when, false), first ? f.inbraak : otherPoint, 1, when);
            if (!first)
                QVERIFY(f.conn->exec(QStringLiteral("UPDATE meldindex SET melder_id = ? WHERE id = ?"), {other, l}));
        }
        copyStylesheet(stylesheet);
        const OverzichtRequest r{{f.melder, quiet, other}, QDate(2026, 12, 2), QDate(2026, 12, 2), true, stylesheet};
        const OverzichtOutcome out = OverzichtJob::run(*f.conn, m_logger, r, {}, 100);
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QCOMPARE(out.pages.size(), pages);
        QCOMPARE(out.html, out.pages.first());
        QStringList ids;
        // The period overview names the report in its heading row, the day overview in its own column.
        const QRegularExpression idRx(stylesheet == overzicht::kPeriodStylesheet
                                          ? QStringLiteral("— melding (\\d+)()")
                                          : QStringLiteral("()<td class=\"num\" width=\"9%\">(\\d+)<"));
        for (const QString& page : out.pages) {
            QVERIFY(page.simplified().contains(QStringLiteral("%1 meldingen, %1 alarmregels").arg(reports)));
            for (auto it = idRx.globalMatch(page); it.hasNext();) {
                const auto m = it.next();
                ids << (m.captured(1).isEmpty() ? m.captured(2) : m.captured(1));
            }
        }
        QCOMPARE(ids.size(), reports);
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), reports);
        const QString all = out.pages.join(QString());
        QCOMPARE(all.count(QStringLiteral("Stil depot")), 1); // shown once, not on every page
        QVERIFY(all.contains(QStringLiteral("Werf Noord")));
        if (stylesheet == overzicht::kDayStylesheet) {
            QCOMPARE(all.count(QStringLiteral("Geen meldingen op deze dag.")), reports ? 1 : 3);
            // Kantoor Centrum (150 reports) runs on to page 2, Werf Noord (from report 151) to page 3.
            QCOMPARE(all.count(QStringLiteral("vervolg")), reports == 250 ? 2 : 0);
        }
    }

    void badStylesheetKeepsTheXml_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("ontbreekt");
        QTest::newRow("not xml") << QByteArray("<xsl:stylesheet <<") << QStringLiteral("geen geldig XML-bestand");
        QTest::newRow("not a stylesheet") << QByteArray("<html/>") << QStringLiteral("onbruikbaar");
    }
    void badStylesheetKeepsTheXml()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        ReportFixture f;
        f.morning();
        QDir().mkpath(m_logger);
        QFile::remove(m_logger + overzicht::kPeriodStylesheet);
        if (!content.isEmpty()) {
            QFile xsl(m_logger + overzicht::kPeriodStylesheet);
            QVERIFY(xsl.open(QIODevice::WriteOnly));
            xsl.write(content);
        }
        const OverzichtOutcome out = OverzichtJob::run(*f.conn, m_logger, request(f));
        QVERIFY(out.xmlWritten);
        QVERIFY2(out.error.contains(message), qPrintable(out.error));
        QVERIFY(out.error.contains(QStringLiteral("wel opgeslagen")));
        QVERIFY(readAll(m_logger + QStringLiteral("overzicht.xml")).contains(QStringLiteral("Inbraak hal")));
    }

    void unwritableLoggerFolderIsReported()
    {
        ReportFixture f;
        f.morning();
        // A file where the folder should be: no user, not even root, can write there.
        QFile blocker(m_dir.path() + QStringLiteral("/bestand"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const OverzichtOutcome out = OverzichtJob::run(*f.conn, blocker.fileName() + QStringLiteral("/Logger/"), request(f));
        QVERIFY(!out.xmlWritten);
        QVERIFY2(out.error.contains(QStringLiteral("niet opgeslagen")), qPrintable(out.error));
    }

    void cancelledBuildKeepsThePreviousFile()
    {
        ReportFixture f;
        f.morning();
        OverzichtBuilder builder(*f.conn, m_logger);
        QVERIFY(builder.build(request(f)));
        const QString before = readAll(builder.xmlPath());
        f.line(f.melding(f.at(2, 11, 0), false), f.inbraak, 1, f.at(2, 11, 0)); // news the stopped build would add
        auto stopped = builder.build(request(f), [](int done, int) { return done < 2; });
        QVERIFY(!stopped);
        QCOMPARE(stopped.error(), QStringLiteral("Het overzicht is afgebroken."));
        QCOMPARE(readAll(builder.xmlPath()), before);
    }

    void workerThreadReportsProgressAndOutcome()
    {
        ReportFixture f;
        for (int i = 0; i < 200; ++i)
            f.line(f.melding(f.at(2, 8, 0).addSecs(i), false), f.inbraak, 1, f.at(2, 8, 0));
        QDir().mkpath(m_logger);
        QFile::remove(m_logger + overzicht::kPeriodStylesheet);
        QVERIFY(QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/overzicht.xsl"), m_logger + overzicht::kPeriodStylesheet));
        OverzichtJob job(f.db.settings(), m_logger);
        QSignalSpy progress(&job, &OverzichtJob::progress);
        QSignalSpy finished(&job, &OverzichtJob::finished);
        QVERIFY(job.start(request(f)));
        QVERIFY(!job.start(request(f))); // one overview at a time
        QVERIFY(finished.wait(10000));
        QVERIFY(!job.running());
        const auto out = finished.first().first().value<OverzichtOutcome>();
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QCOMPARE(out.stats.meldingen, 200);
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0), progress.last().at(1)); // reports built, then pages made
    }
};

QTEST_GUILESS_MAIN(TestOverzicht)
#include "tst_overzicht.moc"
