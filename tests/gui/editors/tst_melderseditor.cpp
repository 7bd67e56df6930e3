#include "EditorFixture.h"
#include "MelderPanel.h"
#include "Repositories.h"
#include "SqlValues.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QSignalSpy>
#include <QTreeWidget>

using namespace taviro;
using namespace taviro::test;

namespace {
// Demo installation: transmitter 1 "Kantoor Centrum" (week schedule 1) with
// points 1 "01", 2 "02", 3 "99"; transmitter 3 "Sporthal De Brink" with point
// 7; week schedules 1 STD and 2 KERST; year schedule 1.
constexpr qint64 kKantoor = 1, kSporthal = 3;

Alarm storedAlarm(EditorFixture& f, qint64 id)
{
    return **AlarmRepository(*f.conn).find(id);
}

Melder storedMelder(EditorFixture& f, qint64 id)
{
    return **MelderRepository(*f.conn).find(id);
}

void clickAlarm(MelderPanel& panel, qint64 id)
{
    auto* list = child<QTreeWidget>(&panel, "alarmView");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->data(0, Qt::UserRole).toLongLong() == id) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->topLevelItem(i)).center());
            return;
        }
    }
    QFAIL("alarm point not listed");
}

QStringList boldItems(MelderPanel& panel)
{
    QStringList bold;
    auto* list = child<QTreeWidget>(&panel, "alarmView");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->font(0).bold())
            bold << list->topLevelItem(i)->text(0);
    }
    return bold;
}

} // namespace

class TestMeldersEditor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void transmitterSaved();
    void alarmPointModes_data();
    void alarmPointModes();
    void leavingAsks_data();
    void leavingAsks();
    void deleteTransmitterKeepsPoints();
    void deletingPointsMovesTheSelection();
    void duplicateNumberWarned_data();
    void duplicateNumberWarned();
    void savingAPointLeavesTheReceiversColumns();
    void keyboardMovesThePointShown_data();
    void keyboardMovesThePointShown();
};

void TestMeldersEditor::transmitterSaved()
{
    EditorFixture f;
    QVERIFY(
        f.conn
            ->exec(QStringLiteral("UPDATE melders SET \"new\" = ? WHERE id = ?"), {true, kKantoor})
            .ok());
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kKantoor);
    QCOMPARE(textOf(&panel, "txtnaam"), QStringLiteral("Kantoor Centrum"));
    QCOMPARE(child<QComboBox>(&panel, "cboweekmelder")->currentText(),
             QStringLiteral("Standaard week"));
    QCOMPARE(boldItems(panel), QStringList{QStringLiteral("01")});
    typeInto(&panel, "txtnaam", QStringLiteral("Kantoor 't Centrum"));
    typeInto(&panel, "txtadres", QStringLiteral("Stationsplein 1"));
    click(&panel, "chkmelderactief");
    click(&panel, "Option1_2");
    child<QComboBox>(&panel, "cboweekmelder")->setCurrentIndex(0);
    QSignalSpy tree(&panel, &EditorPanel::treeChanged);
    click(&panel, "cmdMelderOpslaan");
    QCOMPARE(tree.count(), 1);
    QCOMPARE(tree.first().first().toString(), QStringLiteral("melders"));
    const Melder m = storedMelder(f, kKantoor);
    QCOMPARE(m.naam, QStringLiteral("Kantoor 't Centrum"));
    QCOMPARE(m.adres, QStringLiteral("Stationsplein 1"));
    QVERIFY(!m.actief);
    QCOMPARE(m.uitmeld, 2);
    QCOMPARE(m.weekmelder, 0);
    QCOMPARE(m.jaarmelder, 1);
    QVERIFY(m.isNew); // the receivers' news flag is left alone
    QVERIFY(!panel.isChanged());
}

void TestMeldersEditor::alarmPointModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("withYear");
    QTest::addColumn<qint64>("rooster");
    QTest::newRow("as transmitter") << 0 << true << qint64(0);
    QTest::newRow("not forwarded") << 1 << true << qint64(0);
    QTest::newRow("week schedule KERST") << 2 << true << qint64(2);
    QTest::newRow("year schedule") << 3 << true << qint64(1);
    QTest::newRow("year schedule, none left") << 3 << false << qint64(0);
}

void TestMeldersEditor::alarmPointModes()
{
    QFETCH(int, mode);
    QFETCH(bool, withYear);
    QFETCH(qint64, rooster);
    EditorFixture f;
    if (!withYear)
        QVERIFY(JaarPlanningRepository(*f.conn).softDelete(1).ok());
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kKantoor);
    clickAlarm(panel, 2);
    QCOMPARE(boldItems(panel), QStringList{QStringLiteral("02")});
    click(&panel, QStringLiteral("Option2_%1").arg(mode).toLatin1().constData());
    child<QComboBox>(&panel, "cboweekalarm")->setCurrentIndex(2);
    typeInto(&panel, "txtomschrijving", QStringLiteral("Brand keuken – 1e étage"));
    click(&panel, "chk24uurs");
    click(&panel, "chkalarmactief");
    // Choosing another point writes this one, without a question.
    clickAlarm(panel, 3);
    QVERIFY(f.prompt.asked().isEmpty());
    const Alarm a = storedAlarm(f, 2);
    QCOMPARE(a.uitmeldtype, mode);
    QCOMPARE(a.rooster_id, rooster);
    QCOMPARE(a.omschrijving, QStringLiteral("Brand keuken – 1e étage"));
    QVERIFY(a.uurs24);
    QVERIFY(!a.actief);
    QCOMPARE(a.functie, QStringLiteral("02"));
    // Back on point 2 the frame shows what was stored.
    clickAlarm(panel, 2);
    QCOMPARE(child<QComboBox>(&panel, "cboweekalarm")->currentIndex(), mode == 2 ? 2 : 0);
}

void TestMeldersEditor::leavingAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("mayLeave");
    QTest::addColumn<QString>("storedPlace");
    QTest::newRow("yes") << int(PromptAnswer::Yes) << true << QStringLiteral("Zeist");
    QTest::newRow("no") << int(PromptAnswer::No) << true << QStringLiteral("Amersfoort");
    QTest::newRow("cancel") << int(PromptAnswer::Cancel) << false << QStringLiteral("Amersfoort");
}

void TestMeldersEditor::leavingAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, mayLeave);
    QFETCH(QString, storedPlace);
    EditorFixture f;
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kKantoor);
    QVERIFY(panel.hideMe());
    QVERIFY(f.prompt.asked().isEmpty());
    typeInto(&panel, "txtplaats", QStringLiteral("Zeist"));
    typeInto(&panel, "txtomschrijving", QStringLiteral("Inbraak hal en trap"));
    f.prompt.script({answer});
    QCOMPARE(panel.hideMe(), mayLeave);
    QCOMPARE(f.askedTexts(), QStringList{formChangeQuestion()});
    QCOMPARE(storedMelder(f, kKantoor).plaats, storedPlace);
    // The alarm point was written before the question, whatever the answer.
    QCOMPARE(storedAlarm(f, 1).omschrijving, QStringLiteral("Inbraak hal en trap"));
    QCOMPARE(textOf(&panel, "txtplaats"),
             answer == PromptAnswer::Cancel ? QStringLiteral("Zeist") : storedPlace);
}

void TestMeldersEditor::deleteTransmitterKeepsPoints()
{
    EditorFixture f;
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kSporthal);
    QSignalSpy closed(&panel, &EditorPanel::closed);
    click(&panel, "cmdVerwijderMelder");
    QCOMPARE(closed.count(), 1);
    const Melder m = storedMelder(f, kSporthal);
    QVERIFY(m.deleted);
    QCOMPARE(m.naam, QStringLiteral("Sporthal De Brink_deleted"));
    QVERIFY(!storedAlarm(f, 7).deleted);
}

void TestMeldersEditor::deletingPointsMovesTheSelection()
{
    EditorFixture f;
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kKantoor);
    clickAlarm(panel, 3);
    click(&panel, "deleteAlarmButton"); // the last one: the new last is shown
    QCOMPARE(boldItems(panel), QStringList{QStringLiteral("02")});
    QCOMPARE(panel.selectedAlarmId(), 2);
    clickAlarm(panel, 1);
    click(&panel, "deleteAlarmButton"); // the first one: its successor moves up
    QCOMPARE(boldItems(panel), QStringList{QStringLiteral("02")});
    click(&panel, "deleteAlarmButton"); // the only one left
    QCOMPARE(panel.selectedAlarmId(), 0);
    QVERIFY(!child<QGroupBox>(&panel, "alarmFrame")->isEnabled());
    QVERIFY(!child(&panel, "deleteAlarmButton")->isEnabled());
    QVERIFY(storedAlarm(f, 1).deleted && storedAlarm(f, 2).deleted && storedAlarm(f, 3).deleted);
    // Shown again, the transmitter has no points and the frame stays off.
    panel.showItem(kKantoor);
    QCOMPARE(child<QTreeWidget>(&panel, "alarmView")->topLevelItemCount(), 0);
    QVERIFY(!child<QGroupBox>(&panel, "alarmFrame")->isEnabled());
}

// A receiver stores a check-in (and the watchdog its late mark) while the
// point is open in the editor. Saving the point must write only what the
// frame shows; any statement that names the receivers' columns is refused
// here, so a whole-row write-back cannot pass by writing the same values.
void TestMeldersEditor::savingAPointLeavesTheReceiversColumns()
{
    EditorFixture f;
    if (f.db.onPostgres())
        QSKIP("the guard on the receivers' columns is an SQLite trigger");
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kKantoor);
    clickAlarm(panel, 2);
    typeInto(&panel, "txtomschrijving", QStringLiteral("Inbraak magazijn"));
    click(&panel, "chk24uurs");

    ConnectorPtr receiver = f.db.connect();
    const QDateTime checkIn(QDate(2026, 12, 2), QTime(10, 14, 33));
    QVERIFY(receiver
                ->exec(QStringLiteral("UPDATE alarmen SET \"date\" = ?, tolate = ? WHERE id = 2"),
                       {sql::dateValue(checkIn, receiver->dialect()), sql::boolValue(true)})
                .ok());
    QVERIFY(receiver
                ->exec(QStringLiteral(
                    "CREATE TRIGGER receivers_own_columns BEFORE UPDATE OF \"date\", tolate, "
                    "melder_id, functie, deleted ON alarmen "
                    "BEGIN SELECT RAISE(ABORT, 'receiver column written'); END"))
                .ok());

    clickAlarm(panel, 3);
    const Alarm a = storedAlarm(f, 2);
    QCOMPARE(a.omschrijving, QStringLiteral("Inbraak magazijn"));
    QVERIFY(a.uurs24);
    QCOMPARE(a.date, checkIn);
    QVERIFY(a.tolate);

    // The same through the transmitter's save, which takes the shown point along.
    typeInto(&panel, "txtomschrijving", QStringLiteral("Deur kelder"));
    click(&panel, "cmdMelderOpslaan");
    QVERIFY(f.prompt.asked().isEmpty());
    QCOMPARE(storedAlarm(f, 3).omschrijving, QStringLiteral("Deur kelder"));
}

QTEST_MAIN(TestMeldersEditor)
#include "tst_melderseditor.moc"

// The frame and "Verwijder" act on the point the list's cursor is on, however
// it got there: a click on 01 then Down acts on 02, never on 01.
void TestMeldersEditor::keyboardMovesThePointShown_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<qint64>("shown");
    QTest::newRow("down") << QList<int>{Qt::Key_Down} << qint64(2);
    QTest::newRow("down, down") << QList<int>{Qt::Key_Down, Qt::Key_Down} << qint64(3);
    QTest::newRow("down, up") << QList<int>{Qt::Key_Down, Qt::Key_Up} << qint64(1);
    QTest::newRow("end") << QList<int>{Qt::Key_End} << qint64(3);
    QTest::newRow("escape stays") << QList<int>{Qt::Key_Escape} << qint64(1);
    QTest::newRow("enter stays") << QList<int>{Qt::Key_Return} << qint64(1);
}

void TestMeldersEditor::keyboardMovesThePointShown()
{
    QFETCH(QList<int>, keys);
    QFETCH(qint64, shown);
    EditorFixture f;
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kKantoor);
    auto* list = child<QTreeWidget>(&panel, "alarmView");
    clickAlarm(panel, 1);
    QCOMPARE(panel.selectedAlarmId(), qint64(1));
    // An edit of point 01, then the keys: the edit stays with 01.
    typeInto(&panel, "txtomschrijving", QStringLiteral("Brand hal"));
    list->setFocus();
    for (int key : keys)
        QTest::keyClick(list, Qt::Key(key));
    QCOMPARE(panel.selectedAlarmId(), shown);
    QCOMPARE(list->currentItem()->data(0, Qt::UserRole).toLongLong(), shown);
    QCOMPARE(boldItems(panel), QStringList{list->currentItem()->text(0)});
    if (shown == 1)
        QCOMPARE(textOf(&panel, "txtomschrijving"), QStringLiteral("Brand hal"));
    else // written when the cursor left it, and the frame shows the new point
        QCOMPARE(storedAlarm(f, 1).omschrijving, QStringLiteral("Brand hal"));
    QCOMPARE(textOf(&panel, "txtomschrijving"), shown == 1 ? QStringLiteral("Brand hal")
                                                           : storedAlarm(f, shown).omschrijving);

    // Tab leaves the list for the frame; Verwijder deletes the point shown.
    QTest::keyClick(list, Qt::Key_Tab);
    click(&panel, "deleteAlarmButton");
    QVERIFY(storedAlarm(f, shown).deleted);
    for (qint64 other : {qint64(1), qint64(2), qint64(3)}) {
        if (other != shown)
            QVERIFY2(!storedAlarm(f, other).deleted, qPrintable(QString::number(other)));
    }
}

// A transmitter's number is what the receivers file its reports under: a
// second transmitter with it is warned about, No being the safe default.
void TestMeldersEditor::duplicateNumberWarned_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("stored");
    QTest::newRow("saved all the same") << int(PromptAnswer::Yes) << QStringLiteral("1001");
    QTest::newRow("not saved") << int(PromptAnswer::No) << QStringLiteral("2001");
}
void TestMeldersEditor::duplicateNumberWarned()
{
    QFETCH(int, answer);
    QFETCH(QString, stored);
    EditorFixture f;
    MelderPanel panel(f.ctx);
    panel.show();
    panel.showItem(kSporthal);
    typeInto(&panel, "txtalias", QStringLiteral("1001"));
    f.prompt.script({answer});
    click(&panel, "cmdMelderOpslaan");
    QCOMPARE(f.askedTexts(), QStringList{QStringLiteral(
                                 "De alias \"1001\" wordt al gebruikt door Kantoor Centrum. Wilt u toch opslaan?")});
    QCOMPARE(f.prompt.asked().first().flags,
             PromptFlags::YesNo | PromptFlags::Exclamation | PromptFlags::SecondButtonDefault);
    QCOMPARE(storedMelder(f, kSporthal).alias, stored);
}
