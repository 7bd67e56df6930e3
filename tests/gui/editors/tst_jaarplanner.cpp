#include "EditorFixture.h"
#include "JaarPlannerPanel.h"
#include "Repositories.h"

#include <QSignalSpy>

using namespace taviro;
using namespace taviro::test;

namespace {
// Demo installation: week schedules 1 "Standaard week" (STD) and
// 2 "Kerstrooster" (KERST); year schedule 1 uses STD, KERST in weeks 52, 53.
constexpr qint64 kStandard = 1, kKerst = 2, kYear = 1;
} // namespace

class TestJaarPlanner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newYearScheduleFilledAndSavedTwice();
    void emptyingAWeekReachesTheCache();
    void deletedWeekScheduleShowsQuestionMark();
    void leavingAsksOnlyAfterEdits();
    void deleteIsSoft();
};

void TestJaarPlanner::newYearScheduleFilledAndSavedTwice()
{
    EditorFixture f;
    JaarPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(0);
    typeInto(&panel, "txtnaam", QStringLiteral("Jaarrooster Zuid – 2027"));
    QVERIFY(dragOnto(panel.weekList(), itemFor(panel.weekList(), kKerst), panel.weekSlot(53)));
    QCOMPARE(panel.weekSlot(53)->text(), QStringLiteral("KERST"));
    QTest::mouseClick(panel.weekSlot(1), Qt::LeftButton);
    panel.weekList()->setCurrentItem(itemFor(panel.weekList(), kStandard));
    QTest::keyClick(panel.weekList(), Qt::Key_Return);
    QTest::keyClick(panel.weekSlot(1), Qt::Key_Down); // one row of weeks further
    QVERIFY(panel.weekSlot(7)->isCurrent());
    QSignalSpy tree(&panel, &EditorPanel::treeChanged);
    click(&panel, "cmdOpslaan");
    const qint64 id = panel.currentId();
    QVERIFY(id > 0);
    QTest::keyClick(panel.weekSlot(1), Qt::Key_Delete);
    click(&panel, "cmdOpslaan");
    QCOMPARE(panel.currentId(), id);
    QCOMPARE(tree.count(), 2);
    QCOMPARE(tree.first().first().toString(), QStringLiteral("jaarplanningen"));

    auto rows = JaarPlanningRepository(*f.conn).listActive();
    QCOMPARE(rows->size(), 2);
    const JaarPlanning y = **JaarPlanningRepository(*f.conn).find(id);
    QCOMPARE(y.naam, QStringLiteral("Jaarrooster Zuid – 2027"));
    QCOMPARE(y.weeks[52], kKerst);
    QCOMPARE(y.weeks[0], 0);
}

void TestJaarPlanner::emptyingAWeekReachesTheCache()
{
    EditorFixture f;
    QVERIFY(f.cache.load(*f.conn).ok());
    JaarPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kYear);
    QCOMPARE(panel.weekSlot(10)->text(), QStringLiteral("STD"));
    auto* empty = panel.weekList()->item(panel.weekList()->count() - 1);
    QVERIFY(dragOnto(panel.weekList(), empty, panel.weekSlot(10)));
    QCOMPARE(f.cache.year(kYear)->weeks[9], kStandard);
    click(&panel, "cmdOpslaan");
    QCOMPARE(f.cache.year(kYear)->weeks[9], 0);
    QCOMPARE((**JaarPlanningRepository(*f.conn).find(kYear)).alias, QStringLiteral("JAAR"));
}

void TestJaarPlanner::deletedWeekScheduleShowsQuestionMark()
{
    EditorFixture f;
    QVERIFY(WeekPlanningRepository(*f.conn).softDelete(kKerst).ok());
    JaarPlannerPanel panel(f.ctx);
    panel.showPlanning(kYear);
    QCOMPARE(panel.weekSlot(52)->text(), QStringLiteral("?"));
    QCOMPARE(panel.weekSlot(52)->key(), kKerst);
    QCOMPARE(panel.weekList()->count(), 2); // STD and " leeg()"
}

void TestJaarPlanner::leavingAsksOnlyAfterEdits()
{
    EditorFixture f;
    JaarPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kYear);
    QVERIFY(panel.hideMe());
    typeInto(&panel, "txtnaam", QStringLiteral("Ander jaar"));
    f.prompt.script({PromptAnswer::Cancel});
    QVERIFY(!panel.hideMe());
    QCOMPARE(f.askedTexts(), QStringList{planningChangeQuestion()});
    QCOMPARE(textOf(&panel, "txtnaam"), QStringLiteral("Ander jaar"));
}

void TestJaarPlanner::deleteIsSoft()
{
    EditorFixture f;
    JaarPlannerPanel panel(f.ctx);
    panel.show();
    panel.showPlanning(kYear);
    QSignalSpy closed(&panel, &EditorPanel::closed);
    click(&panel, "Command2");
    QCOMPARE(closed.count(), 1);
    QVERIFY((**JaarPlanningRepository(*f.conn).find(kYear)).deleted);
}

QTEST_MAIN(TestJaarPlanner)
#include "tst_jaarplanner.moc"
