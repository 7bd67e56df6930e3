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
#include <QSignalSpy>
#include <QTextBrowser>

using namespace taviro;
using namespace taviro::test;

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
        const QString shown = viewer.browser()->toPlainText();
        QVERIFY(shown.contains(QStringLiteral("Inbraak hal")));
        QVERIFY(shown.contains(QStringLiteral("GEEN ONTV.")));
        QVERIFY(viewer.grab().save(shotPath(shot)));
    }

    void longPeriodIsShownAPageAtATime()
    {
        ReportsGuiFixture f;
        for (int i = 0; i < 250; ++i)
            f.line(f.melding(f.at(1, 0, 0).addSecs(60 * i), false), f.inbraak, 1, f.at(1, 0, 0).addSecs(60 * i));
        OverzichtViewer viewer(f.db.settings(), logger(f, true), f.log);
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 1), QDate(2026, 12, 2), false, overzicht::kPeriodStylesheet}));
        auto* page = viewer.findChild<QLabel*>(QStringLiteral("lblOverzichtPagina"));
        auto* previous = viewer.findChild<QPushButton*>(QStringLiteral("cmdOverzichtVorige"));
        auto* next = viewer.findChild<QPushButton*>(QStringLiteral("cmdOverzichtVolgende"));
        QCOMPARE(page->text(), QStringLiteral("Meldingen 1-100 van 250"));
        QVERIFY(!previous->isEnabled());
        const auto rows = [&] { return viewer.browser()->toHtml().count(QStringLiteral("Inbraak hal")); };
        QCOMPARE(rows(), 100);
        QVERIFY(viewer.browser()->toPlainText().contains(QStringLiteral("2026 01-12 04:09"))); // the newest first
        QTest::mouseClick(next, Qt::LeftButton);
        QTest::mouseClick(next, Qt::LeftButton);
        QCOMPARE(page->text(), QStringLiteral("Meldingen 201-250 van 250"));
        QCOMPARE(rows(), 50);
        QVERIFY(!next->isEnabled());
        QVERIFY(viewer.browser()->toPlainText().contains(QStringLiteral("2026 01-12 00:00"))); // the oldest last
        QTest::mouseClick(previous, Qt::LeftButton);
        QCOMPARE(page->text(), QStringLiteral("Meldingen 101-200 van 250"));
    }

    void missingStylesheetIsToldAndTheXmlKept()
    {
        ReportsGuiFixture f;
        f.morning();
        const QString path = logger(f, false);
        OverzichtViewer viewer(f.db.settings(), path, f.log);
        QVERIFY(showOverzicht(viewer, {{f.melder}, QDate(2026, 12, 2), QDate(2026, 12, 2), false, overzicht::kPeriodStylesheet}));
        QVERIFY2(viewer.statusText().contains(QStringLiteral("ontbreekt")), qPrintable(viewer.statusText()));
        QVERIFY(viewer.browser()->toPlainText().contains(QStringLiteral("overzicht.xml")));
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
