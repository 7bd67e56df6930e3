#include "BlockTime.h"
#include "DutyResolver.h"
#include "EditorFixture.h"
#include "PlanningDnd.h"
#include "Repositories.h"
#include "WeekGrid.h"
#include "WeekPlannerPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

using namespace taviro;
using namespace taviro::test;

namespace {

// Demo installation: recipients 1 Jan (JDV), 2 Marieke (MBA), 3 Pieter (PJA),
// 4 José (JSM); week schedules 1 "Standaard week", 2 "Kerstrooster"; the year
// schedule uses both.
constexpr qint64 kJan = 1, kPieter = 3, kStandard = 1;

WeekPlanning stored(EditorFixture& f, qint64 id)
{
    return **WeekPlanningRepository(*f.conn).find(id);
}

} // namespace

class TestWeekPlanner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void blockTimes_data();
    void blockTimes();
    void leavingATimeBoxRefusesBadTime();
    void acceptedTimeIsStoredShort_data();
    void acceptedTimeIsStoredShort();
    void newScheduleDefaultsAndKey();
    void unTickingBlock2ClosesBlock3();
    void dropPlacesAndEmpties();
    void realDragFromTheList();
    void keyboardPlacesAndRemoves();
    void gridIsOneTabStop();
    void deletedRecipientShowsQuestionMark();
    void saveChangesWhoIsOnDuty();
    void leavingAfterAPlacementAsks_data();
    void leavingAfterAPlacementAsks();
    void deleteRefusedWhileInYearSchedule_data();
    void deleteRefusedWhileInYearSchedule();
    void duplicateAliasSavedWithoutAsking();
    void actionsThatChangeNothingAskNothing_data();
    void actionsThatChangeNothingAskNothing();
    void loadedStartTimesSurviveASave();
    void demoNightBlockIsOnDuty_data();
    void demoNightBlockIsOnDuty();
};

void TestWeekPlanner::blockTimes_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("t1");
    QTest::addColumn<QString>("t2");
    QTest::addColumn<QString>("t3");
    QTest::addColumn<QString>("problem");
    const QString bad = QStringLiteral("U heeft een onjuiste tijd ingevoerd.");
    const QString before2 =
        QStringLiteral("De ingevoerde tijd moet kleiner zijn dan de starttijd van blok 2.");
    const QString before3 =
        QStringLiteral("De ingevoerde tijd moet kleiner zijn dan de starttijd van blok 3.");
    const QString after1 =
        QStringLiteral("De ingevoerde tijd moet groter zijn dan de starttijd van blok 1.");
    const QString after2 =
        QStringLiteral("De ingevoerde tijd moet groter zijn dan de starttijd van blok 2.");
    QTest::newRow("typed h:m") << 1 << "8:0" << "16:30" << "24:00" << QString();
    QTest::newRow("24:00 is the end of day") << 3 << "8:00" << "16:30" << "24:00" << QString();
    QTest::newRow("equal starts") << 2 << "8:00" << "8:00" << "8:00" << QString();
    QTest::newRow("25:00") << 1 << "25:00" << "24:00" << "24:00" << bad;
    QTest::newRow("8.00") << 1 << "8.00" << "24:00" << "24:00" << bad;
    QTest::newRow("abc") << 2 << "8:00" << "abc" << "24:00" << bad;
    QTest::newRow("empty") << 3 << "8:00" << "16:00" << "" << bad;
    QTest::newRow("24:30") << 3 << "8:00" << "16:00" << "24:30" << bad;
    QTest::newRow("1 after 2") << 1 << "17:00" << "16:30" << "24:00" << before2;
    QTest::newRow("2 after 3") << 2 << "8:00" << "23:00" << "22:00" << before3;
    QTest::newRow("2 before 1") << 2 << "8:00" << "7:59" << "24:00" << after1;
    QTest::newRow("3 before 2") << 3 << "8:00" << "16:30" << "16:29" << after2;
    QTest::newRow("unreadable neighbour") << 1 << "8:00" << "x" << "24:00" << QString();
}

void TestWeekPlanner::blockTimes()
{
    QFETCH(int, box);
    QFETCH(QString, t1);
    QFETCH(QString, t2);
    QFETCH(QString, t3);
    QFETCH(QString, problem);
    QCOMPARE(blockTimeProblem(box, {t1, t2, t3}), problem);
}

void TestWeekPlanner::leavingATimeBoxRefusesBadTime()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    typeInto(&panel, "txttime1", QStringLiteral("25:00"));
    QTest::keyClick(child<QLineEdit>(&panel, "txttime1"), Qt::Key_Return);
    QCOMPARE(f.askedTexts(), QStringList{QStringLiteral("U heeft een onjuiste tijd ingevoerd.")});
    // Saving with the bad time stores nothing.
    click(&panel, "cmdOpslaan");
    QCOMPARE(f.prompt.asked().size(), 2);
    QCOMPARE(stored(f, kStandard).time1, QStringLiteral("8:00"));
}

void TestWeekPlanner::acceptedTimeIsStoredShort_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("with seconds") << "16:30:00" << "16:30";
    QTest::newRow("two-digit hours") << "09:05" << "9:05";
    QTest::newRow("short minutes") << "9:5" << "9:05";
    QTest::newRow("blanks") << " 12:00 " << "12:00";
    QTest::newRow("equal to the next block") << "23:00" << "23:00";
}

// Whatever form the editor accepts, duty resolution and every other reader
// get the one stored form, so a block never starts at another minute than
// the one typed.
void TestWeekPlanner::acceptedTimeIsStoredShort()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    typeInto(&panel, "txttime2", typed);
    click(&panel, "cmdOpslaan");
    QVERIFY(f.prompt.asked().isEmpty());
    QCOMPARE(::stored(f, kStandard).time2, stored);
    QCOMPARE(::stored(f, kStandard).time1, QStringLiteral("8:00"));
}

void TestWeekPlanner::newScheduleDefaultsAndKey()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(0);
    QSignalSpy tree(&panel, &EditorPanel::treeChanged);
    typeInto(&panel, "txtalias", QStringLiteral("ZMR"));
    typeInto(&panel, "txtnaam", QStringLiteral("Zomer 'Noord'"));
    click(&panel, "cmdOpslaan");
    const qint64 id = panel.currentId();
    QVERIFY(id > 0);
    QCOMPARE(tree.count(), 1);
    QCOMPARE(tree.first().first().toString(), QStringLiteral("weekplanningen"));
    click(&panel, "cmdOpslaan");
    QCOMPARE(panel.currentId(), id);
    const WeekPlanning w = stored(f, id);
    QCOMPARE(w.naam, QStringLiteral("Zomer 'Noord'"));
    QCOMPARE(w.time1, QStringLiteral("0:00"));
    QCOMPARE(w.time2, QStringLiteral("24:00"));
    QCOMPARE(w.time3, QStringLiteral("24:00"));
    QVERIFY(!w.Rij2Actief && !w.Rij3Actief && !w.chkSecond && !w.chkThird);
    QVERIFY(f.cache.week(id)); // reloaded after the save
}

void TestWeekPlanner::unTickingBlock2ClosesBlock3()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    auto* rij3 = child<QCheckBox>(&panel, "activeerRij3Check");
    QVERIFY(rij3->isChecked() && rij3->isEnabled());
    click(&panel, "activeerRij2Check");
    QCOMPARE(textOf(&panel, "txttime2"), QStringLiteral("24:00"));
    QCOMPARE(textOf(&panel, "txttime3"), QStringLiteral("24:00"));
    QVERIFY(!rij3->isChecked());
    QVERIFY(!rij3->isEnabled());
    QVERIFY(!child<QLineEdit>(&panel, "txttime2")->isEnabled());
    QVERIFY(!panel.grid()->cell(WeekPlanning::cellIndex(0, 3, 1))->isEnabled());
    QVERIFY(panel.grid()->cell(WeekPlanning::cellIndex(0, 3, 0))->isEnabled());
    QVERIFY(panel.isChanged());
}

void TestWeekPlanner::dropPlacesAndEmpties()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    const int monday = WeekPlanning::cellIndex(0, 0, 0);
    const int backup = WeekPlanning::cellIndex(1, 0, 0);
    QVERIFY(dragOnto(panel.recipientList(), itemFor(panel.recipientList(), kPieter),
                     panel.grid()->cell(monday)));
    QCOMPARE(panel.grid()->cell(monday)->text(), QStringLiteral("PJA"));
    auto* empty = panel.recipientList()->item(panel.recipientList()->count() - 1);
    QCOMPARE(empty->text(), QStringLiteral(" leeg()"));
    QVERIFY(dragOnto(panel.recipientList(), empty, panel.grid()->cell(backup)));
    QVERIFY(panel.isChanged());
    click(&panel, "cmdOpslaan");
    QCOMPARE(stored(f, kStandard).cells[monday], kPieter);
    QCOMPARE(stored(f, kStandard).cells[backup], 0);
    QCOMPARE(panel.grid()->cell(backup)->text(), QString());
}

// A drag as the operator makes it: press on a recipient, move, and let go
// over a cell, through the window system's own drag loop. The offscreen
// platform has no drag loop, so this runs only under X (ctest runs it through
// xvfb-run when that is installed).
void TestWeekPlanner::realDragFromTheList()
{
    if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
        QSKIP("needs a window system with drag and drop");
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.resize(1100, 720);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.showPlanning(kStandard);
    auto* list = panel.recipientList();
    PlanningSlot* cell = panel.grid()->cell(WeekPlanning::cellIndex(0, 0, 0));
    QWindow* window = panel.windowHandle();
    const QPoint from =
        list->viewport()->mapTo(&panel, list->visualItemRect(itemFor(list, kPieter)).center());
    const QPoint to = cell->mapTo(&panel, cell->rect().center());
    bool dropped = false;
    // QDrag::exec runs its own loop from the second move on; the drop is
    // made from inside it.
    QTimer::singleShot(200, &panel, [&] {
        QTest::mouseMove(window, to);
        QTest::qWait(100);
        QTest::mouseMove(window, to + QPoint(1, 1));
        QTest::qWait(100);
        QTest::mouseRelease(window, Qt::LeftButton, {}, to + QPoint(1, 1));
        dropped = true;
    });
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    QTest::mouseMove(window, from + QPoint(10, 0));
    QTest::mouseMove(window, from + QPoint(30, 0));
    QTRY_VERIFY(dropped);
    QCOMPARE(cell->text(), QStringLiteral("PJA"));
    QVERIFY(panel.isChanged());
    click(&panel, "cmdOpslaan");
    QCOMPARE(stored(f, kStandard).cells[WeekPlanning::cellIndex(0, 0, 0)], kPieter);
}

void TestWeekPlanner::keyboardPlacesAndRemoves()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    const int friday = WeekPlanning::cellIndex(0, 4, 2);
    const int sunday = WeekPlanning::cellIndex(0, 6, 2);
    QTest::mouseClick(panel.grid()->cell(friday), Qt::LeftButton);
    panel.recipientList()->setCurrentItem(itemFor(panel.recipientList(), kPieter));
    QTest::keyClick(panel.recipientList(), Qt::Key_Return);
    QCOMPARE(panel.grid()->cell(friday)->text(), QStringLiteral("PJA"));
    // Arrow keys walk the grid: right is the next day, up from a block's
    // first recipient is the previous block's third.
    QTest::keyClick(panel.grid()->cell(friday), Qt::Key_Right);
    QCOMPARE(panel.grid()->currentCell(), WeekPlanning::cellIndex(0, 5, 2));
    QTest::keyClick(panel.grid()->cell(WeekPlanning::cellIndex(0, 5, 2)), Qt::Key_Up);
    QCOMPARE(panel.grid()->currentCell(), WeekPlanning::cellIndex(2, 5, 1));
    // Enter on a cell places the recipient chosen in the list.
    QTest::keyClick(panel.grid()->cell(sunday), Qt::Key_Enter);
    QTest::keyClick(panel.grid()->cell(WeekPlanning::cellIndex(0, 0, 0)), Qt::Key_Delete);
    // A switched-off position takes nothing.
    QTest::mouseClick(panel.grid()->cell(WeekPlanning::cellIndex(2, 0, 0)), Qt::LeftButton);
    QTest::keyClick(panel.recipientList(), Qt::Key_Return);
    click(&panel, "cmdOpslaan");
    const WeekPlanning w = stored(f, kStandard);
    QCOMPARE(w.cells[friday], kPieter);
    QCOMPARE(w.cells[sunday], kPieter);
    QCOMPARE(w.cells[WeekPlanning::cellIndex(0, 0, 0)], 0);
    QCOMPARE(w.cells[WeekPlanning::cellIndex(2, 0, 0)], 0);
}

// Tab passes the 63 cells in one step (the arrow keys walk them), at the
// cell the operator chose last, or the first before he chose one.
void TestWeekPlanner::gridIsOneTabStop()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    auto tabStops = [&] {
        QList<int> stops;
        for (int i = 0; i < WeekPlanning::kCells; ++i)
            if (panel.grid()->cell(i)->focusPolicy() & Qt::TabFocus)
                stops << i;
        return stops;
    };
    QCOMPARE(tabStops(), QList<int>{0});
    const int friday = WeekPlanning::cellIndex(1, 4, 2);
    QTest::mouseClick(panel.grid()->cell(friday), Qt::LeftButton);
    QCOMPARE(tabStops(), QList<int>{friday});
    QTest::keyClick(panel.grid()->cell(friday), Qt::Key_Left);
    QCOMPARE(tabStops(), QList<int>{WeekPlanning::cellIndex(1, 3, 2)});
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    panel.grid()->cell(WeekPlanning::cellIndex(1, 3, 2))->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QVERIFY(!qobject_cast<PlanningSlot*>(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), panel.grid()->cell(WeekPlanning::cellIndex(1, 3, 2)));
}

void TestWeekPlanner::deletedRecipientShowsQuestionMark()
{
    EditorFixture f;
    QVERIFY(OntvangerRepository(*f.conn).softDelete(kJan).ok());
    WeekPlannerPanel panel(f.ctx);
    panel.showPlanning(kStandard);
    QCOMPARE(panel.grid()->cell(WeekPlanning::cellIndex(0, 0, 0))->text(), QStringLiteral("?"));
    QCOMPARE(panel.grid()->key(WeekPlanning::cellIndex(0, 0, 0)), kJan);
    // Gone from the list, but the cell still holds Jan until replaced.
    for (int i = 0; i < panel.recipientList()->count(); ++i)
        QVERIFY(panel.recipientList()->item(i)->data(Qt::UserRole).toLongLong() != kJan);
}

void TestWeekPlanner::saveChangesWhoIsOnDuty()
{
    EditorFixture f;
    QVERIFY(f.cache.load(*f.conn).ok());
    const QDateTime wednesday(QDate(2026, 12, 2), QTime(10, 15)); // block 1 runs from 8:00
    auto onDuty = [&] {
        DutyOutcome out;
        DutyResolver(f.cache, wednesday, false, QString())
            .addOnDutyRecipients({{1, kStandard}}, ScheduleMode::Week, out);
        QList<qint64> ids;
        for (const DutyPair& p : out.pairs)
            ids << p.recipientId;
        return ids;
    };
    QCOMPARE(onDuty(), QList<qint64>{kJan});
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    QTest::mouseClick(panel.grid()->cell(WeekPlanning::cellIndex(0, 2, 0)), Qt::LeftButton);
    panel.recipientList()->setCurrentItem(itemFor(panel.recipientList(), kPieter));
    QTest::keyClick(panel.recipientList(), Qt::Key_Return);
    QCOMPARE(onDuty(), QList<qint64>{kJan}); // not before it is saved
    click(&panel, "cmdOpslaan");
    QCOMPARE(onDuty(), QList<qint64>{kPieter});
}

void TestWeekPlanner::leavingAfterAPlacementAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("mayLeave");
    QTest::addColumn<qint64>("storedCell");
    QTest::newRow("yes") << int(PromptAnswer::Yes) << true << kPieter;
    QTest::newRow("no") << int(PromptAnswer::No) << true << kJan;
    QTest::newRow("cancel") << int(PromptAnswer::Cancel) << false << kJan;
}

void TestWeekPlanner::leavingAfterAPlacementAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, mayLeave);
    QFETCH(qint64, storedCell);
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    QVERIFY(panel.hideMe());
    QVERIFY(f.prompt.asked().isEmpty());
    const int cell = WeekPlanning::cellIndex(0, 1, 0);
    QVERIFY(dragOnto(panel.recipientList(), itemFor(panel.recipientList(), kPieter),
                     panel.grid()->cell(cell)));
    f.prompt.script({answer});
    QCOMPARE(panel.hideMe(), mayLeave);
    QCOMPARE(f.askedTexts(), QStringList{planningChangeQuestion()});
    QCOMPARE(stored(f, kStandard).cells[cell], storedCell);
    QCOMPARE(panel.grid()->cell(cell)->text(),
             answer == PromptAnswer::No ? QStringLiteral("JDV") : QStringLiteral("PJA"));
}

void TestWeekPlanner::deleteRefusedWhileInYearSchedule_data()
{
    QTest::addColumn<bool>("yearDeleted");
    QTest::newRow("used by a year schedule") << false;
    QTest::newRow("used only by a deleted one") << true;
}

void TestWeekPlanner::deleteRefusedWhileInYearSchedule()
{
    QFETCH(bool, yearDeleted);
    EditorFixture f;
    if (yearDeleted)
        QVERIFY(JaarPlanningRepository(*f.conn).softDelete(1).ok());
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    QSignalSpy closed(&panel, &EditorPanel::closed);
    click(&panel, "cmdVerwijder");
    QCOMPARE(stored(f, kStandard).deleted, yearDeleted);
    QCOMPARE(closed.count(), yearDeleted ? 1 : 0);
    if (!yearDeleted)
        QCOMPARE(f.askedTexts(),
                 QStringList{QStringLiteral("Weekrooster kan niet verwijderd worden. Dit "
                                            "weekrooster staat nog in het jaarrooster.")});
}

QTEST_MAIN(TestWeekPlanner)
#include "tst_weekplanner.moc"

// Week schedules may share an alias: saved without a question, with a word
// for the status bar.
void TestWeekPlanner::duplicateAliasSavedWithoutAsking()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(0);
    QSignalSpy notes(&panel, &EditorPanel::note);
    typeInto(&panel, "txtalias", QStringLiteral("STD"));
    typeInto(&panel, "txtnaam", QStringLiteral("Standaard week 2"));
    click(&panel, "cmdOpslaan");
    QVERIFY(f.askedTexts().isEmpty());
    QVERIFY(panel.currentId() > 0);
    QCOMPARE(stored(f, panel.currentId()).alias, QStringLiteral("STD"));
    QCOMPARE(notes.size(), 1);
    QVERIFY(notes[0][0].toString().contains(QStringLiteral("Standaard week")));
}

// Every block the demo installation plans people into is on duty some time:
// the night recipient of the standard week (José) answers at night.
void TestWeekPlanner::demoNightBlockIsOnDuty_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<qint64>("recipient");
    QTest::newRow("day") << QTime(10, 15) << qint64(1);
    QTest::newRow("evening") << QTime(20, 0) << qint64(2);
    QTest::newRow("late evening") << QTime(23, 30) << qint64(4);
    QTest::newRow("small hours") << QTime(3, 0) << qint64(4);
}
void TestWeekPlanner::demoNightBlockIsOnDuty()
{
    QFETCH(QTime, time);
    QFETCH(qint64, recipient);
    EditorFixture f;
    QVERIFY(f.cache.load(*f.conn).ok());
    DutyOutcome out;
    DutyResolver(f.cache, QDateTime(QDate(2026, 12, 2), time), false, QString())
        .addOnDutyRecipients({{1, kStandard}}, ScheduleMode::Week, out);
    QList<qint64> ids;
    for (const DutyPair& p : out.pairs)
        ids << p.recipientId;
    QVERIFY2(ids.contains(recipient), qPrintable(QStringLiteral("%1 on duty").arg(ids.size())));
}

// A loaded schedule shows the block starts it was stored with, and saving it
// unchanged keeps them: the night block stays on duty.
void TestWeekPlanner::loadedStartTimesSurviveASave()
{
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    QCOMPARE(textOf(&panel, "txttime2"), QStringLiteral("16:30"));
    QCOMPARE(textOf(&panel, "txttime3"), QStringLiteral("23:00"));
    QVERIFY(!panel.isChanged());
    click(&panel, "cmdOpslaan");
    QCOMPARE(stored(f, kStandard).time3, QStringLiteral("23:00"));
    QCOMPARE(stored(f, kStandard).time2, QStringLiteral("16:30"));
}

void TestWeekPlanner::actionsThatChangeNothingAskNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("Delete on an empty cell") << QStringLiteral("delete empty");
    QTest::newRow("Enter places what the cell holds") << QStringLiteral("enter same");
    QTest::newRow("drop of what the cell holds") << QStringLiteral("drop same");
    QTest::newRow("list choice of what the cell holds") << QStringLiteral("list same");
}

void TestWeekPlanner::actionsThatChangeNothingAskNothing()
{
    QFETCH(QString, action);
    EditorFixture f;
    WeekPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kStandard);
    const int janCell = WeekPlanning::cellIndex(0, 0, 0);
    QCOMPARE(panel.grid()->key(janCell), kJan);
    int empty = -1;
    for (int i = 0; i < WeekPlanning::kCells && empty < 0; ++i)
        if (panel.grid()->cell(i)->isEnabled() && panel.grid()->key(i) == 0)
            empty = i;
    QVERIFY(empty >= 0);
    panel.recipientList()->setCurrentItem(itemFor(panel.recipientList(), kJan));
    if (action == QLatin1String("delete empty")) {
        QTest::mouseClick(panel.grid()->cell(empty), Qt::LeftButton);
        QTest::keyClick(panel.grid()->cell(empty), Qt::Key_Delete);
    } else if (action == QLatin1String("enter same")) {
        QTest::mouseClick(panel.grid()->cell(janCell), Qt::LeftButton);
        QTest::keyClick(panel.grid()->cell(janCell), Qt::Key_Return);
    } else if (action == QLatin1String("drop same")) {
        QVERIFY(dragOnto(panel.recipientList(), itemFor(panel.recipientList(), kJan), panel.grid()->cell(janCell)));
    } else {
        QTest::mouseClick(panel.grid()->cell(janCell), Qt::LeftButton);
        QTest::keyClick(panel.recipientList(), Qt::Key_Return);
    }
    QVERIFY(!panel.isChanged());
    QVERIFY(panel.hideMe());
    QVERIFY(f.prompt.asked().isEmpty());
}
