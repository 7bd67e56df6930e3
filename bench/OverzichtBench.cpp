// taviro-bench-overzicht [REPORTS] [TRANSMITTERS] [--no-display] [--keep DBPATH]
// Builds the overview of REPORTS reports (3 lines each, every line sent to two
// recipients and acknowledged) spread over TRANSMITTERS transmitters, applies
// both stylesheets (whole, and the first page as the console shows it) and
// lays the page out in the viewer, printing each step's time. The console's
// target: 10,000 reports built and transformed in under 2 s.
#include "DatabaseConnector.h"
#include "Installation.h"
#include "OverzichtJob.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Transaction.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTextBrowser>
#include <QTextStream>

#include <ctime>

using namespace taviro;

namespace {

QTextStream out(stdout);

// Processor time of this process in ms: on a machine shared with builds the
// wall clock says more about the neighbours than about the overview.
qint64 cpuMsecs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
constexpr int kPageSize = 100; // as OverzichtViewer::kPageSize

bool fill(const DatabaseConnector& conn, int reports, int transmitters)
{
    test::Installation inst(conn);
    const qint64 jan = inst.recipient(QStringLiteral("Jan de Vries"),
                                      QStringLiteral("+31612345678"), {}, true, false);
    const qint64 marieke = inst.recipient(QStringLiteral("Marieke Bakker"),
                                          QStringLiteral("+31623456789"), {}, true, false);
    QList<qint64> melders, points;
    for (int t = 0; t < transmitters; ++t) {
        const qint64 m = inst.transmitter(QString::number(1001 + t),
                                          QStringLiteral("Gebouw %1").arg(t + 1), 1, 0, 0);
        melders << m;
        for (const char* f : {"01", "02", "03"})
            points << inst.point(
                m, QLatin1String(f),
                QStringLiteral("Alarmpunt %1 van gebouw %2").arg(QLatin1String(f)).arg(t + 1));
    }
    if (!inst.ok())
        return false;
    Transaction tx(conn);
    if (!tx.begin())
        return false;
    QSqlQuery melding(conn.database()), line(conn.database()), uitmeld(conn.database()),
        link(conn.database());
    melding.prepare(QStringLiteral(
        "INSERT INTO meldingen (melding_date, bemand, show, seen) VALUES (?, ?, ?, ?)"));
    line.prepare(QStringLiteral(
        "INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, flank, actief, "
        "\"24uurs\", \"date\", uitmelden) VALUES (?, ?, ?, ?, 1, 1, 0, ?, 1)"));
    uitmeld.prepare(QStringLiteral(
        "INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, \"date\", bevestiger, "
        "bevestigtype, bevestigdate) VALUES (?, 1, 1, 1, ?, 1, 1, ?)"));
    link.prepare(
        QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, ?)"));
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    for (int r = 0; r < reports; ++r) {
        const QDateTime when = start.addSecs(qint64(r) * 3000); // about a year of reports
        const QString date = sql::dateText(when);
        melding.addBindValue(date);
        melding.addBindValue(r % 5 == 0);
        melding.addBindValue(false);
        melding.addBindValue(true);
        if (!melding.exec())
            return false;
        const qint64 meldingId = melding.lastInsertId().toLongLong();
        const int t = r % transmitters;
        QList<qint64> dispatches;
        for (qint64 recipient : {jan, marieke}) {
            uitmeld.addBindValue(recipient);
            uitmeld.addBindValue(sql::dateText(when.addSecs(60)));
            uitmeld.addBindValue(sql::dateText(when.addSecs(600)));
            if (!uitmeld.exec())
                return false;
            dispatches << uitmeld.lastInsertId().toLongLong();
        }
        for (int p = 0; p < 3; ++p) {
            for (const QVariant& v :
                 QVariantList{meldingId, melders[t], points[3 * t + p], dispatches.last(), date})
                line.addBindValue(v);
            if (!line.exec())
                return false;
            const qint64 lineId = line.lastInsertId().toLongLong();
            for (qint64 d : dispatches) {
                link.addBindValue(d);
                link.addBindValue(lineId);
                if (!link.exec())
                    return false;
            }
        }
    }
    return bool(tx.commit());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reports = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    const int transmitters = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 20;

    test::TestDatabase db;
    ConnectorPtr conn = db.connect();
    QElapsedTimer timer;
    timer.start();
    if (!conn || !fill(*conn, reports, transmitters)) {
        out << "vullen van de database mislukt" << Qt::endl;
        return 1;
    }
    out << "database: " << reports << " meldingen x 3 regels x 2 ontvangers in " << timer.elapsed()
        << " ms" << Qt::endl;

    const QStringList args = app.arguments();
    if (const int k = int(args.indexOf(QStringLiteral("--keep"))); k > 0 && k + 1 < args.size()) {
        // A copy of the filled database, to study query plans with sqlite3.
        QFile::remove(args[k + 1]);
        QFile::copy(db.path(), args[k + 1]);
        return 0;
    }
    const bool display = !args.contains(QStringLiteral("--no-display"));
    const QString logger = db.folder() + QStringLiteral("/Logger/");
    QDir().mkpath(logger);
    OverzichtRequest request;
    request.from = QDate(2026, 1, 1);
    request.to = QDate(2026, 12, 31);
    request.includeInactive = false;
    for (qint64 id = 1; id <= transmitters; ++id)
        request.melderIds << id;

    for (const QString& xsl : {overzicht::kPeriodStylesheet, overzicht::kDayStylesheet}) {
        QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/") + xsl, logger + xsl);
        request.stylesheet = xsl;
        const OverzichtOutcome o = OverzichtJob::run(*conn, logger, request);
        qint64 cpu = cpuMsecs();
        const OverzichtOutcome paged = OverzichtJob::run(*conn, logger, request, {}, kPageSize);
        cpu = cpuMsecs() - cpu;
        if (!o.error.isEmpty()) {
            out << o.error << Qt::endl;
            return 1;
        }
        out << xsl << ": " << o.stats.meldingen << " meldingen, " << o.stats.alarms
            << " alarmregels; opbouwen " << o.buildMsecs << " ms, opmaken " << o.transformMsecs
            << " ms, samen " << o.buildMsecs + o.transformMsecs << " ms (XML "
            << QFileInfo(o.stats.xmlPath).size() / 1024 << " KiB, HTML " << o.html.size() / 1024
            << " K tekens)" << Qt::endl;
        out << "  zoals de console het toont (" << kPageSize << " meldingen per pagina): opbouwen "
            << paged.buildMsecs << " ms, eerste pagina opmaken " << paged.transformMsecs
            << " ms, samen " << paged.buildMsecs + paged.transformMsecs << " ms (processortijd " << cpu
            << " ms)" << Qt::endl;
        timer.restart();
        cpu = cpuMsecs();
        auto second = paged.document->apply(OverzichtJob::pageParams(kPageSize + 1, kPageSize));
        out << "  volgende pagina: " << timer.elapsed() << " ms (processortijd " << cpuMsecs() - cpu << " ms)"
            << Qt::endl;
        if (!second)
            return 1;
        if (!display)
            continue;
        QTextBrowser browser;
        browser.resize(1200, 800);
        timer.restart();
        browser.setHtml(paged.html);
        const qint64 parse = timer.restart();
        browser.document()->setTextWidth(1180);
        const QSizeF size = browser.document()->size(); // forces the layout of the whole document
        const qint64 layout = timer.elapsed();
        out << "  tonen: setHtml " << parse << " ms, opmaak " << layout << " ms ("
            << int(size.height()) << " px hoog)" << Qt::endl;
    }
    return 0;
}
