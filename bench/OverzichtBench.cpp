// taviro-bench-overzicht [REPORTS] [TRANSMITTERS] [--no-display] [--no-print] [--keep DBPATH]
// Builds the overview of REPORTS reports (3 lines each, every line sent to two
// recipients and acknowledged) spread over TRANSMITTERS transmitters through
// both stylesheets, as the console does: in the viewer, with a timer ticking
// on the window's thread all along. It prints the time to build the overview
// in the background, to put the first page and each next page on screen, to
// print the whole overview to a PDF file, and the longest the window's event
// loop was kept from running. The console's target: a page on screen in
// 0.5 s, a next page in 0.3 s, the event loop never held up over 100 ms.
#include "DatabaseConnector.h"
#include "GapMeter.h"
#include "AcknowledgedReports.h"
#include "OverzichtJob.h"
#include "OverzichtViewer.h"
#include "Clock.h"
#include "EventLog.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Transaction.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTextDocument>
#include <QTextStream>
#include <QTimer>
#include <QPrinter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <ctime>

using namespace taviro;
using bench::GapMeter;
using bench::threadCpuMsecs;

namespace {

QTextStream out(stdout);

// Runs the event loop until the signal comes; false after the timeout.
template <class Signal>
bool waitFor(const typename QtPrivate::FunctionPointer<Signal>::Object* sender, Signal signal, int timeoutMs)
{
    QSignalSpy spy(sender, signal);
    return spy.wait(timeoutMs);
}

struct Shown
{
    qint64 wall = 0;
    qint64 cpu = 0;
};

// A click on "Volgende >" until the page is painted. The page is laid out on
// a worker thread ahead of the click; the window thread only paints it.
Shown showPage(OverzichtViewer& viewer, int page)
{
    QElapsedTimer t;
    t.start();
    const qint64 cpu = threadCpuMsecs();
    QSignalSpy shown(&viewer, &OverzichtViewer::pageShown);
    viewer.showPage(page);
    if (shown.isEmpty())
        shown.wait(60000);
    viewer.view()->viewport()->repaint();
    return {t.elapsed(), threadCpuMsecs() - cpu};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QStringList numbers;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--keep"))
            ++i;
        else if (!args[i].startsWith(QStringLiteral("--")))
            numbers << args[i];
    }
    const int reports = numbers.size() > 0 ? numbers[0].toInt() : 10000;
    const int transmitters = numbers.size() > 1 ? numbers[1].toInt() : 20;

    test::TestDatabase db;
    ConnectorPtr conn = db.connect();
    QElapsedTimer timer;
    timer.start();
    if (!conn || !test::fillAcknowledgedReports(*conn, reports, transmitters)) {
        out << "vullen van de database mislukt" << Qt::endl;
        return 1;
    }
    out << "database: " << reports << " meldingen x 3 regels x 2 ontvangers in " << timer.elapsed()
        << " ms" << Qt::endl;

    if (const int k = int(args.indexOf(QStringLiteral("--keep"))); k > 0 && k + 1 < args.size()) {
        // A copy of the filled database, to study query plans with sqlite3.
        QFile::remove(args[k + 1]);
        QFile::copy(db.path(), args[k + 1]);
        return 0;
    }
    const bool display = !args.contains(QStringLiteral("--no-display"));
    const bool print = display && !args.contains(QStringLiteral("--no-print"));
    const QString logger = db.folder() + QStringLiteral("/Logger/");
    QDir().mkpath(logger);
    OverzichtRequest request;
    request.from = QDate(2026, 1, 1);
    request.to = QDate(2026, 12, 31);
    request.includeInactive = false;
    for (qint64 id = 1; id <= transmitters; ++id)
        request.melderIds << id;

    SystemClock clock;
    EventLog log(clock, logger);
    QStringList summary;
    for (const QString& xsl : {overzicht::kPeriodStylesheet, overzicht::kDayStylesheet}) {
        QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/") + xsl, logger + xsl);
        request.stylesheet = xsl;
        if (!display) {
            const OverzichtOutcome o = OverzichtJob::run(*conn, logger, request, {}, OverzichtViewer::kPageSize);
            if (!o.error.isEmpty()) {
                out << o.error << Qt::endl;
                return 1;
            }
            out << xsl << ": " << o.stats.meldingen << " meldingen, " << o.stats.alarms << " alarmregels; opbouwen "
                << o.buildMsecs << " ms, " << o.pages.size() << " pagina's opmaken " << o.transformMsecs << " ms (XML "
                << QFileInfo(o.stats.xmlPath).size() / 1024 << " KiB)" << Qt::endl;
            continue;
        }

        OverzichtViewer viewer(db.settings(), logger, log);
        viewer.resize(1200, 800);
        viewer.show();
        QCoreApplication::processEvents();
        GapMeter gaps;
        gaps.start();
        timer.restart();
        if (!viewer.generate(request) || !waitFor(&viewer, &OverzichtViewer::overzichtShown, 600000)) {
            out << xsl << ": het overzicht kwam niet" << Qt::endl;
            return 1;
        }
        const qint64 ready = timer.elapsed();
        const qint64 buildGap = gaps.maxGap(), buildCpuGap = gaps.maxCpuGap();
        out << xsl << ": " << viewer.statusText() << "; na " << ready << " ms op het scherm, " << viewer.pageCount()
            << " pagina's van " << OverzichtViewer::kPageSize << Qt::endl;
        out << "  opbouwen en tonen: langste onderbreking van de gebeurtenislus " << buildGap << " ms (waarvan "
            << buildCpuGap << " ms rekentijd van het venster)" << Qt::endl;

        // The first page from the overview's arrival to the screen, then the next pages.
        viewer.view()->viewport()->repaint();
        const Shown first{viewer.lastPageMsecs(), -1};
        QTest::qWait(300); // the rest of the layout, between events
        Shown next;
        const int flips = std::min(5, viewer.pageCount() - 1);
        for (int page = 2; page <= flips + 1; ++page) {
            const Shown s = showPage(viewer, page);
            next.wall = std::max(next.wall, s.wall);
            next.cpu = std::max(next.cpu, s.cpu);
            QTest::qWait(300); // the operator reads; the rest is laid out and the next page made meanwhile
            viewer.view()->verticalScrollBar()->setValue(viewer.view()->verticalScrollBar()->maximum());
            QTest::qWait(100);
        }
        out << "  eerste pagina op het scherm " << first.wall << " ms na aankomst van het overzicht, volgende pagina hoogstens " << next.wall << " ms (rekentijd " << next.cpu << " ms)" << Qt::endl;

        out << "  bladeren: langste onderbreking van de gebeurtenislus " << gaps.maxGap() << " ms (waarvan "
            << gaps.maxCpuGap() << " ms rekentijd van het venster)" << Qt::endl;
        if (print) {
            const QString pdf = db.folder() + QStringLiteral("/overzicht.pdf");
            viewer.setPrinterSource([pdf](QString*) {
                auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
                p->setOutputFormat(QPrinter::PdfFormat);
                p->setOutputFileName(pdf);
                return p;
            });
            timer.restart();
            if (!viewer.printOverzicht() || !waitFor(&viewer, &OverzichtViewer::overzichtPrinted, 1800000)) {
                out << xsl << ": afdrukken mislukt" << Qt::endl;
                return 1;
            }
            out << "  afdrukken naar PDF: " << timer.elapsed() << " ms, " << QFileInfo(pdf).size() / 1024 << " KiB; "
                << viewer.statusText() << Qt::endl;
        }
        gaps.stop();
        out << "  hele meting: langste onderbreking van de gebeurtenislus " << gaps.maxGap() << " ms (waarvan "
            << gaps.maxCpuGap() << " ms rekentijd van het venster)" << Qt::endl;
        summary << QStringLiteral("%1 first_ms=%2 next_ms=%3 max_gap_ms=%4")
                       .arg(xsl)
                       .arg(first.wall)
                       .arg(next.wall)
                       .arg(gaps.maxGap());
    }
    for (const QString& line : std::as_const(summary))
        out << line << Qt::endl;
    return 0;
}
