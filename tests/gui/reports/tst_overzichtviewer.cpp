#include "AcknowledgedReports.h"
#include "AlarmDetail.h"
#include "OverzichtPanel.h"
#include "OverzichtViewer.h"
#include "ReportsGuiFixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTimer>

using namespace taviro;
using namespace taviro::test;

namespace {

// A PDF printer that goes away after a number of sheets, as a printer that
// is switched off or loses its network in the middle of a long overview.
class VanishingPrinter : public QPrinter
{
public:
    VanishingPrinter(const QString& path, int sheets) : QPrinter(QPrinter::HighResolution), m_sheets(sheets)
    {
        setOutputFormat(QPrinter::PdfFormat);
        setOutputFileName(path);
    }
    bool newPage() override { return --m_sheets > 0 && QPrinter::newPage(); }

private:
    int m_sheets;
};

} // namespace

class TestOverzichtViewer : public QObject
{
    Q_OBJECT

    QString logger(const ReportsGuiFixture& f, bool withStylesheets)
    {
        const QString path = f.db.folder() + QStringLiteral("/Logger/");
        QDir().mkpath(path);
        if (withStylesheets)
            for (const QString& xsl : {overzicht::kPeriodStylesheet, overzicht::kDayStylesheet})
                QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/") + xsl, path + xsl);
        return path;
    }

    // docs/screenshots when asked for (TAVIRO_SCREENSHOT_DIR), else a scratch folder.
    static QString shotPath(const QString& name)
    {
        static QTemporaryDir scratch;
        const QString dir = qEnvironmentVariable("TAVIRO_SCREENSHOT_DIR", scratch.path());
        return dir + QLatin1Char('/') + name;
    }

    bool showOverzicht(OverzichtViewer& viewer, const OverzichtRequest& request)
    {
        QSignalSpy shown(&viewer, &OverzichtViewer::overzichtShown);
        return viewer.generate(request) && shown.wait(20000);
    }

private Q_SLOTS:
    void panelsAskForTheirOverview_data()
    {
        QTest::addColumn<bool>("periode");
        QTest::newRow("Overzichten") << true;
        QTest::newRow("Overzicht2") << false;
    }
    void panelsAskForTheirOverview()
    {
        QFETCH(bool, periode);
        ReportsGuiFixture f;
        Installation inst(*f.conn);
        const qint64 gone = inst.transmitter(QStringLiteral("1002"), QStringLiteral("Oud depot"), 0, 0, 0);
        const qint64 archief = inst.transmitter(QStringLiteral("1003"), QStringLiteral("Archief"), 0, 0, 0,
                                                QStringLiteral("Kerkplein 3"));
        QVERIFY(MelderRepository(*f.conn).softDelete(gone));
        OverzichtPanel panel(periode ? OverzichtPanel::Kind::Periode : OverzichtPanel::Kind::Dag, *f.conn, f.clock);
        QCOMPARE(panel.objectName(), periode ? QStringLiteral("Overzichten") : QStringLiteral("Overzicht2"));
        auto* list = panel.findChild<QListWidget*>(QStringLiteral("melderList"));
        QCOMPARE(list->count(), 2); // the deleted transmitter is not offered
        QCOMPARE(list->item(0)->text(), QStringLiteral("Archief (Kerkplein 3)"));
        QCOMPARE(panel.findChild<QDateEdit*>(QStringLiteral("DTPickerFrom"))->date(), QDate(2026, 12, 2));
        panel.fillmelderlist(); // opened again from the navigation
        QCOMPARE(panel.findChild<QDateEdit*>(QStringLiteral("DTPickerFrom"))->date(),
                 periode ? QDate(2026, 12, 1) : QDate(2026, 12, 2));
        QCOMPARE(panel.findChild<QDateEdit*>(QStringLiteral("DTPickerTo")) != nullptr, periode);

        list->item(1)->setSelected(true);
        list->item(0)->setSelected(true);
        panel.findChild<QCheckBox*>(QStringLiteral("toonInactieveMeldersCheck"))->setChecked(true);
        QSignalSpy asked(&panel, &OverzichtPanel::overzichtRequested);
        QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        const auto r = asked.first().first().value<OverzichtRequest>();
        QCOMPARE(r.melderIds, (QList<qint64>{archief, f.melder})); // list order, not click order
        QCOMPARE(r.to, periode ? QDate(2026, 12, 2) : r.from);
        QVERIFY(r.includeInactive);
        QCOMPARE(r.stylesheet, periode ? QStringLiteral("overzicht.xsl") : QStringLiteral("overzicht2.xsl"));
    }

    void viewerShowsBothOverviews_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::addColumn<QString>("shot");
        QTest::newRow("period") << overzicht::kPeriodStylesheet << QStringLiteral("overzicht.png");
        QTest::newRow("day") << overzicht::kDayStylesheet << QStringLiteral("overzicht2.png");
    }
    void viewerShowsBothOverviews()
    {
        QFETCH(QString, stylesheet);
        QFETCH(QString, shot);
        ReportsGuiFixture f;
        f.morning();
        OverzichtViewer viewer(f.db.settings(), logger(f, true), f.log);
        viewer.resize(1100, 560);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QSignalSpy showPage(&viewer, &OverzichtViewer::showRequested);
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 2), QDate(2026, 12, 2), true, stylesheet}));
        QCOMPARE(showPage.size(), 1);
        QVERIFY2(viewer.statusText().startsWith(QStringLiteral("4 meldingen")), qPrintable(viewer.statusText()));
        QVERIFY2(!viewer.statusText().contains(QStringLiteral(" ms")), qPrintable(viewer.statusText()));
        const QString shown = viewer.view()->toPlainText();
        QVERIFY(shown.contains(QStringLiteral("Inbraak hal")));
        QVERIFY(shown.contains(QStringLiteral("GEEN ONTV.")));
        QVERIFY(viewer.grab().save(shotPath(shot)));
    }

    void longPeriodIsShownAPageAtATime_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::newRow("period") << overzicht::kPeriodStylesheet;
        QTest::newRow("day") << overzicht::kDayStylesheet;
    }
    void longPeriodIsShownAPageAtATime()
    {
        QFETCH(QString, stylesheet);
        constexpr int P = OverzichtViewer::kPageSize;
        constexpr int n = 2 * P + P / 2; // two full pages and half a one
        ReportsGuiFixture f;
        for (int i = 0; i < n; ++i)
            f.line(f.melding(f.at(1, 0, 0).addSecs(60 * i), false), f.inbraak, 1, f.at(1, 0, 0).addSecs(60 * i));
        OverzichtViewer viewer(f.db.settings(), logger(f, true), f.log);
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 1), QDate(2026, 12, 1), false, stylesheet}));
        auto* page = viewer.findChild<QLabel*>(QStringLiteral("lblOverzichtPagina"));
        auto* previous = viewer.findChild<QPushButton*>(QStringLiteral("cmdOverzichtVorige"));
        auto* next = viewer.findChild<QPushButton*>(QStringLiteral("cmdOverzichtVolgende"));
        const auto label = [](int from, int to) { return QStringLiteral("Meldingen %1-%2 van %3").arg(from).arg(to).arg(n); };
        const auto time = [](int minute) { return QTime(0, 0).addSecs(60 * minute).toString(QStringLiteral("HH:mm")); };
        QCOMPARE(page->text(), label(1, P));
        QVERIFY(!previous->isEnabled());
        const auto rows = [&] { return viewer.view()->document()->toHtml().count(QStringLiteral("Inbraak hal")); };
        QCOMPARE(rows(), P);
        QVERIFY(viewer.view()->toPlainText().contains(time(n - 1))); // the newest first
        // A page is made on a worker thread; the view shows it when it is ready.
        const auto flip = [&viewer](QPushButton* button) {
            QSignalSpy shown(&viewer, &OverzichtViewer::pageShown);
            QTest::mouseClick(button, Qt::LeftButton);
            return !shown.isEmpty() || shown.wait(10000);
        };
        QVERIFY(flip(next));
        QVERIFY(flip(next));
        QCOMPARE(page->text(), label(2 * P + 1, n));
        QCOMPARE(rows(), n - 2 * P);
        QVERIFY(!next->isEnabled());
        QVERIFY(viewer.view()->toPlainText().contains(time(0))); // the oldest last
        QVERIFY(flip(previous));
        QCOMPARE(page->text(), label(P + 1, 2 * P));
        QCOMPARE(rows(), P);
    }

    // No reports at all, or a year of a busy site: the overview says what
    // it holds, every report can be paged to, and the window goes on
    // answering while the worker builds it.
    void anySizeOfOverview_data()
    {
        QTest::addColumn<int>("reports");
        QTest::newRow("none") << 0;
#ifdef __SANITIZE_ADDRESS__
        QTest::newRow("ten thousand") << 10000; // a hundred thousand takes minutes under the sanitizers
#else
        QTest::newRow("a hundred thousand") << 100000;
#endif
    }
    void anySizeOfOverview()
    {
        QFETCH(int, reports);
        ReportsGuiFixture f;
        const auto made = fillAcknowledgedReports(*f.conn, reports, 1, 1);
        QVERIFY(made);
        OverzichtViewer viewer(f.db.settings(), logger(f, true), f.log);
        int ticks = 0;
        QTimer answering;
        connect(&answering, &QTimer::timeout, &viewer, [&ticks] { ++ticks; });
        answering.start(10);
        QVERIFY(showOverzicht(viewer, {made->melderIds, QDate(2026, 1, 1), QDate(2026, 12, 31), false,
                                       overzicht::kPeriodStylesheet}));
        // One line a report, told to two recipients: two alarm rows.
        QCOMPARE(viewer.statusText(), QStringLiteral("%1 meldingen, %2 alarmregels").arg(reports).arg(2 * reports));
        // An empty overview is one page with its heading, no pager.
        const int pages = std::max(1, (reports + OverzichtViewer::kPageSize - 1) / OverzichtViewer::kPageSize);
        QCOMPARE(viewer.pageCount(), pages);
        if (reports == 0) {
            QVERIFY(!viewer.findChild<QLabel*>(QStringLiteral("lblOverzichtPagina"))->isVisibleTo(&viewer));
            return;
        }
        QVERIFY2(ticks > 1, "the window's event loop ran while the overview was built");
        const auto moment = [](const QDateTime& at) { return at.toString(QStringLiteral("HH:mm")); };
        QVERIFY(viewer.view()->toPlainText().contains(moment(made->newest)));
        QSignalSpy shown(&viewer, &OverzichtViewer::pageShown);
        QVERIFY(viewer.showPage(pages));
        QVERIFY(!shown.isEmpty() || shown.wait(20000));
        QCOMPARE(viewer.findChild<QLabel*>(QStringLiteral("lblOverzichtPagina"))->text(),
                 QStringLiteral("Meldingen %1-%2 van %2").arg((pages - 1) * OverzichtViewer::kPageSize + 1).arg(reports));
        QVERIFY(viewer.view()->toPlainText().contains(moment(made->oldest)));
    }

    // A page is laid out on the worker for the view's width, so the view
    // must follow a window that is resized, keep the operator's place and
    // never paint a page it has let go of; and the page reads by keyboard.
    void pageFollowsTheKeyboardAndTheWidth_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected"); // where the page is scrolled to after the key
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << QStringLiteral("page");
        QTest::newRow("Space") << int(Qt::Key_Space) << QStringLiteral("page");
        QTest::newRow("Down") << int(Qt::Key_Down) << QStringLiteral("step");
        QTest::newRow("End") << int(Qt::Key_End) << QStringLiteral("end");
    }
    void pageFollowsTheKeyboardAndTheWidth()
    {
        QFETCH(int, key);
        QFETCH(QString, expected);
        ReportsGuiFixture f;
        for (int i = 0; i < OverzichtViewer::kPageSize; ++i) {
            const QDateTime at = f.at(1, 0, 0).addSecs(60 * i);
            const qint64 melding = f.melding(at, false);
            for (int line = 0; line < 3; ++line)
                f.line(melding, f.inbraak, 1, at);
        }
        OverzichtViewer viewer(f.db.settings(), logger(f, true), f.log);
        viewer.resize(1000, 500);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 1), QDate(2026, 12, 1), false,
                                       overzicht::kDayStylesheet}));
        OverzichtPageView* view = viewer.view();
        QCOMPARE(int(view->document()->textWidth()), view->layoutWidth());
        QScrollBar* bar = view->verticalScrollBar();
        QVERIFY2(bar->maximum() > 2 * bar->pageStep(), "the page is taller than two screens");

        view->setFocus();
        QTest::keyClick(view, Qt::Key(key));
        const int want = expected == QLatin1String("page") ? bar->pageStep()
                         : expected == QLatin1String("step") ? bar->singleStep()
                                                              : bar->maximum();
        QCOMPARE(bar->value(), want);
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(bar->value(), 0);

        // Half-way down, the window narrows twice in a row, as a dragged edge.
        bar->setValue(bar->maximum() / 2);
        QTextDocument* wide = view->document();
        const qreal wideHeight = wide->size().height();
        viewer.resize(800, 500);
        QCoreApplication::processEvents();
        viewer.resize(700, 500);
        QTRY_VERIFY_WITH_TIMEOUT(view->document() != wide, 10000);
        QCOMPARE(int(view->document()->textWidth()), view->layoutWidth());
        QVERIFY(view->document()->size().height() > wideHeight);
        QVERIFY(qAbs(double(bar->value()) / bar->maximum() - 0.5) < 0.05);
        view->viewport()->repaint(); // paints the new page, not a dropped one
        QVERIFY(view->toPlainText().contains(QStringLiteral("Inbraak hal")));
    }

    // "Afdrukken..." prints the whole overview, not the page on screen, and
    // a printer that is missing or goes away is told while the window goes on.
    void printingTheWholeOverview_data()
    {
        QTest::addColumn<QString>("stylesheet");
        QTest::addColumn<int>("printer"); // 0 PDF, 1 none, 2 gone after two sheets
        QTest::addColumn<QString>("status");
        QTest::newRow("period") << overzicht::kPeriodStylesheet << 0 << QStringLiteral("Het overzicht is afgedrukt (%1 meldingen).").arg(2 * OverzichtViewer::kPageSize + 10);
        QTest::newRow("day") << overzicht::kDayStylesheet << 0 << QStringLiteral("Het overzicht is afgedrukt (%1 meldingen).").arg(2 * OverzichtViewer::kPageSize + 10);
        QTest::newRow("no printer") << overzicht::kDayStylesheet << 1
                                    << QStringLiteral("Het overzicht is niet afgedrukt: er is op deze werkplek geen standaardprinter ingesteld.");
        QTest::newRow("printer gone") << overzicht::kPeriodStylesheet << 2 << QStringLiteral("tijdens het afdrukken weggevallen");
    }
    void printingTheWholeOverview()
    {
        QFETCH(QString, stylesheet);
        QFETCH(int, printer);
        QFETCH(QString, status);
        ReportsGuiFixture f;
        constexpr int n = 2 * OverzichtViewer::kPageSize + 10; // three pages
        for (int i = 0; i < n; ++i)
            f.line(f.melding(f.at(1, 0, 0).addSecs(60 * i), false), f.inbraak, 1, f.at(1, 0, 0).addSecs(60 * i));
        OverzichtViewer viewer(f.db.settings(), logger(f, true), f.log);
        const QString pdf = f.pdfPath;
        viewer.setPrinterSource([printer, pdf](QString* reason) -> std::unique_ptr<QPrinter> {
            if (printer == 1) {
                *reason = QStringLiteral("er is op deze werkplek geen standaardprinter ingesteld");
                return nullptr;
            }
            return std::make_unique<VanishingPrinter>(pdf, printer == 2 ? 2 : 1000000);
        });
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 1), QDate(2026, 12, 1), false, stylesheet}));
        QCOMPARE(viewer.pageCount(), 3);
        QSignalSpy printed(&viewer, &OverzichtViewer::overzichtPrinted);
        const bool started = viewer.printOverzicht();
        QCOMPARE(started, printer != 1);
        if (started)
            QVERIFY(printed.wait(60000));
        QCOMPARE(printed.size(), 1);
        QCOMPARE(printed.first().first().toBool(), printer == 0);
        QVERIFY2(viewer.statusText().contains(status), qPrintable(viewer.statusText()));
        if (printer == 0) {
            const QString text = ReportsGuiFixture::pdfText(pdf);
            QVERIFY(text.contains(QTime(0, 0).addSecs(60 * (n - 1)).toString(QStringLiteral("HH:mm")))); // the newest, first page
            QVERIFY(text.contains(QStringLiteral("00:00"))); // the oldest, on the third
            QCOMPARE(text.count(QStringLiteral("Inbraak hal")), n);
        } else {
            QVERIFY(f.logText().contains(QStringLiteral("Het overzicht is niet afgedrukt")));
        }
        // The window goes on: paging and printing again both work.
        QVERIFY(viewer.showPage(2));
        QVERIFY(viewer.findChild<QPushButton*>(QStringLiteral("cmdOverzichtAfdrukken"))->isEnabled());
    }

    void missingStylesheetIsToldAndTheXmlKept()
    {
        ReportsGuiFixture f;
        f.morning();
        const QString path = logger(f, false);
        OverzichtViewer viewer(f.db.settings(), path, f.log);
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 2), QDate(2026, 12, 2), false, overzicht::kPeriodStylesheet}));
        QVERIFY2(viewer.statusText().contains(QStringLiteral("ontbreekt")), qPrintable(viewer.statusText()));
        QVERIFY(viewer.view()->toPlainText().contains(QStringLiteral("overzicht.xml")));
        QVERIFY(QFile::exists(path + QStringLiteral("overzicht.xml")));
        QVERIFY(f.logText().contains(QStringLiteral("ontbreekt")));
    }

    void detailViewScreenshot()
    {
        ReportsGuiFixture f;
        f.morning();
        Installation(*f.conn).settings([](Settings& s) { s.printdirect = 1; });
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE melders SET land = ?, telnr = ?"),
                             {QStringLiteral("Nederland"), QStringLiteral("035-5412345")}));
        AlarmDetail detail({*f.conn, &f.console, f.log, f.prompt});
        detail.resize(900, 360);
        detail.show();
        QVERIFY(detail.showItem(1));
        QVERIFY(QTest::qWaitForWindowExposed(&detail));
        QCoreApplication::processEvents(); // let the layout settle before the picture
        QVERIFY(detail.grab().save(shotPath(QStringLiteral("alarmdetail.png"))));
    }
};

QTEST_MAIN(TestOverzichtViewer)
#include "tst_overzichtviewer.moc"
