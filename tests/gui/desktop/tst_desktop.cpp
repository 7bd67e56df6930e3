// The console window on a real X display with a window manager, driven as an
// operator drives it: keys first (sent through the X server by xdotool), the
// mouse second. With TAVIRO_SCREENSHOT_DIR set, the screen of every panel is
// kept as a picture.
#include "AlarmDetail.h"
#include "ConsoleRig.h"
#include "DesktopDriver.h"
#include "LoginDialog.h"
#include "NavigationTree.h"
#include "OverzichtViewer.h"
#include "PanelHost.h"
#include "Repositories.h"
#include "XSession.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextBlock>
#include <QTextTable>

using namespace taviro;
using namespace taviro::test;

namespace {

const QStringList kManned{QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")};

qint64 idOf(const Rig& rig, const QString& sql)
{
    auto v = rig.conn->scalar(sql);
    return v ? v->toLongLong() : 0;
}

// Report rows of the overview page in sight, column titles not counted.
int overviewRowsInSight(OverzichtViewer& viewer)
{
    QTextDocument* doc = viewer.view()->document();
    const int top = viewer.view()->verticalScrollBar()->value();
    const int bottom = top + viewer.view()->viewport()->height();
    int rows = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QTextTable* table = QTextCursor(b).currentTable();
        if (!table || table->cellAt(QTextCursor(b)).column() != 0)
            continue;
        if (b.text().startsWith(QStringLiteral("Tijd")))
            continue;
        const QRectF at = doc->documentLayout()->blockBoundingRect(b);
        if (at.top() >= top && at.bottom() <= bottom && table->cellAt(QTextCursor(b)).firstCursorPosition().block() == b)
            ++rows;
    }
    return rows;
}

} // namespace

class TestDesktop : public QObject
{
    Q_OBJECT

    XSession& x() { return *XSession::current(); }

private Q_SLOTS:
    void initTestCase()
    {
        // Dates and day names as the control room reads them (the program
        // sets the same at start).
        QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
    }

    // The console opens maximised and stays so: status bar and list in sight.
    void windowOpensMaximisedAndStaysSo()
    {
        Rig rig;
        rig.open(kManned, true);
        DesktopDriver d(x(), rig);
        QVERIFY(d.waitActive(rig.window.get()));
        QTest::qWait(500); // the window manager has had its say
        QVERIFY(rig.window->isMaximized());
        const QRect screen = rig.window->screen()->geometry();
        QVERIFY2(screen.contains(rig.window->frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(rig.window->frameGeometry().x()).arg(rig.window->frameGeometry().y())
                                .arg(rig.window->frameGeometry().width()).arg(rig.window->frameGeometry().height())));
        const QRect status(rig.window->statusBar()->mapToGlobal(QPoint(0, 0)), rig.window->statusBar()->size());
        QVERIFY(screen.contains(status));
        d.screenshot(QStringLiteral("mainwindow"));
    }

    // Through the tree by arrow keys to every editor and view; Enter opens it.
    void keyboardReachesEveryPanel_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("shot");
        QTest::newRow("melder") << QStringLiteral("C2CM%1") << QStringLiteral("Melders1") << QStringLiteral("melders");
        QTest::newRow("ontvanger") << QStringLiteral("C3C1Co3") << QStringLiteral("Ontvanger1") << QStringLiteral("ontvangers");
        QTest::newRow("nieuwe ontvanger") << QStringLiteral("C3C1Co0") << QStringLiteral("Ontvanger1") << QString();
        QTest::newRow("weekplanning") << QStringLiteral("C3C2Cw1") << QStringLiteral("WeekPlanner1") << QStringLiteral("weekplanning");
        QTest::newRow("jaarplanning") << QStringLiteral("C3C3Cj1") << QStringLiteral("JaarPlanner1") << QStringLiteral("jaarplanning");
        QTest::newRow("per melder") << QStringLiteral("C4C1") << QStringLiteral("Overzichten1") << QStringLiteral("overzicht-per-melder");
        QTest::newRow("alles") << QStringLiteral("C4C2") << QStringLiteral("Overzicht2") << QStringLiteral("overzicht-alles");
        QTest::newRow("gebruiker") << QStringLiteral("C5C1Cg%1") << QStringLiteral("gebruikers") << QStringLiteral("gebruikers");
        QTest::newRow("poorten") << QStringLiteral("C5C2") << QStringLiteral("communicatie") << QStringLiteral("comports");
        QTest::newRow("opties") << QStringLiteral("C5C5") << QStringLiteral("settings") << QStringLiteral("settings");
    }
    void keyboardReachesEveryPanel()
    {
        QFETCH(QString, node);
        QFETCH(QString, panel);
        QFETCH(QString, shot);
        Rig rig;
        rig.open(kManned, true);
        if (node.contains(QLatin1String("%1")))
            node = node.arg(idOf(rig, node.startsWith(QLatin1String("C2")) ? QStringLiteral("SELECT MIN(id) FROM melders")
                                                                           : QStringLiteral("SELECT MIN(id) FROM gebruikers")));
        DesktopDriver d(x(), rig);
        QVERIFY(d.focusTree());
        QVERIFY2(d.walkTo(node), qPrintable(d.lastProblem()));
        QVERIFY(x().keys({QStringLiteral("Return")}));
        QTRY_COMPARE(rig.window->panels().currentKey(), panel);
        QCOMPARE(NavigationTree::keyOf(rig.window->tree().currentItem()), node);
        QCOMPARE(nodeForPanel(rig.window->panels().currentKey(), rig.window->panels().currentId()), node);
        QVERIFY(rig.prompt.asked().isEmpty());
        // Every panel reads by Tab the way the eye does.
        QVERIFY2(d.focusOrderProblems(rig.window->panels().panel(panel)).isEmpty(),
                 qPrintable(d.focusOrderProblems(rig.window->panels().panel(panel)).join(QLatin1Char('\n'))));
        if (!shot.isEmpty())
            d.screenshot(shot);
    }

    // Save and delete act on the record the tree highlights, and a switch the
    // operator cancels leaves the highlight where the form is.
    void saveAndDeleteActOnTheHighlightedRecord()
    {
        Rig rig;
        rig.open(kManned, true);
        DesktopDriver d(x(), rig);
        QVERIFY(d.focusTree());
        QVERIFY2(d.walkTo(QStringLiteral("C3C1Co3")), qPrintable(d.lastProblem())); // Pieter Jansen
        QVERIFY(d.tabTo(QStringLiteral("txtplaats")));
        QVERIFY(x().keys({QStringLiteral("ctrl+a")}));
        QVERIFY(x().type(QStringLiteral("Utrecht")));
        QTRY_COMPARE(rig.shown<QLineEdit>(QStringLiteral("txtplaats"))->text(), QStringLiteral("Utrecht"));

        // Up in the tree to Marieke; the operator cancels the change question.
        QVERIFY(d.tabTo(QStringLiteral("menuTree"), true));
        rig.prompt.script({PromptAnswer::Cancel});
        QVERIFY(x().keys({QStringLiteral("Up")}));
        QTRY_COMPARE(rig.prompt.asked().size(), 1);
        QTest::qWait(200);
        QCOMPARE(NavigationTree::keyOf(rig.window->tree().currentItem()), QStringLiteral("C3C1Co3"));
        QCOMPARE(rig.window->panels().currentId(), qint64(3));

        // Saved by keyboard: Pieter's row changes, nobody else's, and the
        // highlight stays on him.
        QVERIFY(d.tabTo(QStringLiteral("cmdOpslaan")));
        QVERIFY(x().keys({QStringLiteral("space")}));
        QTRY_COMPARE((*OntvangerRepository(*rig.conn).find(3))->plaats, QStringLiteral("Utrecht"));
        QCOMPARE((*OntvangerRepository(*rig.conn).find(2))->plaats, QStringLiteral("Amersfoort"));
        QCOMPARE(NavigationTree::keyOf(rig.window->tree().currentItem()), QStringLiteral("C3C1Co3"));

        // A new recipient, saved and then deleted, all by keyboard.
        QVERIFY(d.tabTo(QStringLiteral("menuTree"), true));
        QVERIFY2(d.walkTo(QStringLiteral("C3C1Co0")), qPrintable(d.lastProblem()));
        QVERIFY(d.tabTo(QStringLiteral("txtalias")));
        QVERIFY(x().type(QStringLiteral("KBD")));
        QVERIFY(d.tabTo(QStringLiteral("txtnaam")));
        QVERIFY(x().type(QStringLiteral("Karel Bos")));
        QVERIFY(d.tabTo(QStringLiteral("cmdOpslaan")));
        QVERIFY(x().keys({QStringLiteral("space")}));
        QTRY_VERIFY(idOf(rig, QStringLiteral("SELECT id FROM ontvangers WHERE alias = 'KBD'")) > 0);
        const qint64 karel = idOf(rig, QStringLiteral("SELECT id FROM ontvangers WHERE alias = 'KBD'"));
        QTRY_COMPARE(NavigationTree::keyOf(rig.window->tree().currentItem()), QStringLiteral("C3C1Co%1").arg(karel));
        QVERIFY(d.tabTo(QStringLiteral("VerwijderBtn")));
        QVERIFY(x().keys({QStringLiteral("space")}));
        QTRY_COMPARE(idOf(rig, QStringLiteral("SELECT COUNT(*) FROM ontvangers WHERE deleted <> 0")), qint64(1));
        QCOMPARE(idOf(rig, QStringLiteral("SELECT deleted FROM ontvangers WHERE alias = 'KBD'")), qint64(1));
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("actueel"));
        QCOMPARE(NavigationTree::keyOf(rig.window->tree().currentItem()), QStringLiteral("C1"));
    }

    // From the alarm list to the acknowledge button without the mouse.
    void acknowledgeByKeyboardAlone()
    {
        Rig rig;
        rig.open(kManned, true);
        const qint64 older = rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
        rig.clock.advanceSecs(60);
        const qint64 newer = rig.storeReport(QStringLiteral("1002"), QStringLiteral("11"));
        rig.window->showNewActueel();
        DesktopDriver d(x(), rig);
        QVERIFY(d.focusTree());
        QVERIFY(d.tabTo(QStringLiteral("actueelList")));
        QVERIFY(x().keys({QStringLiteral("Down"), QStringLiteral("Up"), QStringLiteral("Return")}));
        QTRY_COMPARE(rig.window->detail().meldingId(), newer);
        d.screenshot(QStringLiteral("alarmdetail"));
        // Tab leaves the list and reaches the button; Space acknowledges.
        QVERIFY(d.tabTo(QStringLiteral("Command1")));
        QVERIFY(x().keys({QStringLiteral("space")}));
        QTRY_COMPARE(idOf(rig, QStringLiteral("SELECT show FROM meldingen WHERE id = %1").arg(newer)), qint64(0));
        QCOMPARE(idOf(rig, QStringLiteral("SELECT show FROM meldingen WHERE id = %1").arg(older)), qint64(1));
        // The next report opens by itself; Alt+V acknowledges it from anywhere.
        QTRY_COMPARE(rig.window->detail().meldingId(), older);
        QVERIFY(x().keys({QStringLiteral("alt+v")}));
        QTRY_COMPARE(idOf(rig, QStringLiteral("SELECT show FROM meldingen WHERE id = %1").arg(older)), qint64(0));
    }

    // An overview made by keyboard shows at least fifteen report rows; the
    // splitter gives the room back when the operator turns to another page.
    void overviewShowsFifteenRows()
    {
        Rig rig;
        const QString logger = rig.db.folder() + QStringLiteral("/Logger/");
        QDir().mkpath(logger);
        for (const char* xsl : {"overzicht.xsl", "overzicht2.xsl"})
            QVERIFY(QFile::copy(QStringLiteral(TAVIRO_XSL_DIR "/") + QLatin1String(xsl), logger + QLatin1String(xsl)));
        rig.open(kManned, true);
        for (int i = 0; i < 40; ++i) {
            rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
            rig.clock.advanceSecs(30);
        }
        DesktopDriver d(x(), rig);
        auto* split = qobject_cast<QSplitter*>(rig.window->panels().parentWidget());
        QVERIFY(split);
        QVERIFY(d.focusTree());
        QVERIFY2(d.walkTo(QStringLiteral("C4C1")), qPrintable(d.lastProblem()));
        const QList<int> before = split->sizes();
        QVERIFY(d.tabTo(QStringLiteral("Command2"))); // Alles selecteren
        QVERIFY(x().keys({QStringLiteral("space")}));
        QVERIFY(d.tabTo(QStringLiteral("Command1"))); // Overzicht maken
        auto* viewer = rig.window->findChild<OverzichtViewer*>();
        QSignalSpy shown(viewer, &OverzichtViewer::overzichtShown);
        QVERIFY(x().keys({QStringLiteral("space")}));
        QVERIFY(shown.wait(60000));
        QCOMPARE(shown.first().first().toBool(), true);
        QTest::qWait(400); // laid out again for the grown view
        const int rows = overviewRowsInSight(*viewer);
        QVERIFY2(rows >= 15, qPrintable(QStringLiteral("%1 rijen in beeld").arg(rows)));
        d.screenshot(QStringLiteral("overzicht"));

        auto* tabs = rig.find<QTabWidget>(QStringLiteral("bottomTabs"));
        QTabBar* bar = tabs->tabBar();
        QVERIFY(x().click(bar->mapToGlobal(bar->tabRect(0).center())));
        QTRY_VERIFY(tabs->currentIndex() != 2);
        QTRY_COMPARE(split->sizes(), before);
    }

    // A click on the main window while the login dialog is open must not
    // take the keyboard away from the dialog.
    void clickOnTheBlockedWindowKeepsTheLogin()
    {
        Rig rig;
        rig.open({}, true);
        DesktopDriver d(x(), rig);
        LoginDialog* login = rig.window->loginDialog();
        QVERIFY(d.waitActive(login));
        const QPoint onTree = rig.window->tree().mapToGlobal(rig.window->tree().rect().center());
        QVERIFY(x().click(onTree));
        QTest::qWait(400);
        QTRY_VERIFY(login->isActiveWindow());
        QVERIFY(x().type(QStringLiteral("op1")));
        QVERIFY(x().keys({QStringLiteral("Tab")}));
        QVERIFY(x().type(QStringLiteral("geheim")));
        QVERIFY(x().keys({QStringLiteral("Return")}));
        QTRY_VERIFY(!login->isVisible());
        QCOMPARE(rig.label(QStringLiteral("gebruikerLabel")), QStringLiteral("Gebruiker: Operator Een"));
    }

    // A button with the keyboard focus looks different from one without.
    void focusedButtonStandsOut()
    {
        Rig rig;
        rig.open(kManned, true);
        DesktopDriver d(x(), rig);
        QVERIFY(d.focusTree());
        QVERIFY2(d.walkTo(QStringLiteral("C3C1Co3")), qPrintable(d.lastProblem()));
        auto* save = rig.shown<QPushButton>(QStringLiteral("cmdOpslaan"));
        const QImage plain = save->grab().toImage();
        QVERIFY(d.tabTo(QStringLiteral("cmdOpslaan")));
        QTest::qWait(100);
        const QImage focused = save->grab().toImage();
        int differing = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int xx = 0; xx < plain.width(); ++xx)
                differing += plain.pixel(xx, y) != focused.pixel(xx, y);
        // More than a dotted line: the frame and the face change.
        QVERIFY2(differing > plain.width() * plain.height() / 4, qPrintable(QString::number(differing)));
    }

    // Bad input: many long names and a small window. Every button stays
    // reachable and the window keeps answering.
    void smallWindowAndLongNames()
    {
        Rig rig;
        OntvangerRepository recipients(*rig.conn);
        const QString longName = QStringLiteral("Lange naam ").repeated(19).left(200);
        for (int i = 0; i < 500; ++i) {
            Ontvanger o;
            o.alias = QStringLiteral("R%1").arg(i);
            o.naam = QStringLiteral("%1 %2").arg(i, 3, 10, QLatin1Char('0')).arg(longName).left(200);
            QVERIFY(recipients.insert(o).ok());
        }
        rig.open(kManned, true);
        DesktopDriver d(x(), rig);
        QVERIFY(d.waitActive(rig.window.get()));
        rig.window->showNormal();
        rig.window->resize(1024, 768);
        QTest::qWait(500);
        QTreeWidgetItem* item = rig.window->tree().node(QStringLiteral("C3C1Co5"));
        QVERIFY(item);
        QCOMPARE(item->toolTip(0), item->text(0)); // the whole name, however narrow the tree
        QVERIFY(item->text(0).size() > 200);
        for (const char* node : {"C3C1Co5", "C3C2Cw1", "C5C5", "C5C2", "C4C1"}) {
            QElapsedTimer answered;
            answered.start();
            QVERIFY(rig.window->tree().node(QLatin1String(node)));
            rig.window->tree().setCurrentItem(rig.window->tree().node(QLatin1String(node)));
            Q_EMIT rig.window->tree().nodeChosen(QLatin1String(node));
            QTest::qWait(50);
            QVERIFY2(answered.elapsed() < 3000, node);
            const QStringList hidden = d.unreachableButtons(rig.window->panels().panel(rig.window->panels().currentKey()));
            QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(QLatin1Char(','))));
        }
    }
};

TAVIRO_X_TEST_MAIN(TestDesktop, 1280, 800)
#include "tst_desktop.moc"
