#include "EditorFixture.h"
#include "GebruikersPanel.h"
#include "Repositories.h"

#include <QCheckBox>
#include <QSignalSpy>

using namespace taviro;
using namespace taviro::test;

class TestGebruikersEditor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newAccountLearnsItsKey();
    void leavingAsks_data();
    void leavingAsks();
    void unchangedLeavesWithoutAsking();
    void deleteKeepsTheRow();
    void passwordMaskedUntilShown();
};

void TestGebruikersEditor::newAccountLearnsItsKey()
{
    EditorFixture f;
    GebruikersPanel panel(f.ctx);
    panel.show();
    QSignalSpy tree(&panel, &EditorPanel::treeChanged);
    typeInto(&panel, "txtalias", QStringLiteral("KdJ"));
    typeInto(&panel, "txtnaam", QStringLiteral("Kees d'Jong-Müller"));
    typeInto(&panel, "txtlogin", QStringLiteral("kees"));
    typeInto(&panel, "txtwachtwoord", QStringLiteral("pa'ss"));
    click(&panel, "cmdOpslaan");
    QVERIFY(panel.currentId() > 0);
    QCOMPARE(tree.count(), 1);
    QCOMPARE(tree.first().first().toString(), QStringLiteral("gebruikers"));

    typeInto(&panel, "txtnaam", QStringLiteral("Kees de Jong"));
    click(&panel, "cmdOpslaan");
    auto all = GebruikerRepository(*f.conn).list(QStringLiteral("WHERE alias = ?"),
                                                 {QStringLiteral("KdJ")});
    QVERIFY(all.ok());
    QCOMPARE(all->size(), 1);
    QCOMPARE(all->first().id, panel.currentId());
    QCOMPARE(all->first().naam, QStringLiteral("Kees de Jong"));
    QCOMPARE(all->first().wachtwoord, QStringLiteral("pa'ss"));
    QVERIFY(f.prompt.asked().isEmpty());
}

void TestGebruikersEditor::leavingAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("mayLeave");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("shownName");
    const QString old = QStringLiteral("Operator Een"), edited = QStringLiteral("Operator Één");
    QTest::newRow("yes saves") << int(PromptAnswer::Yes) << true << edited << edited;
    QTest::newRow("no discards") << int(PromptAnswer::No) << true << old << old;
    QTest::newRow("cancel stays") << int(PromptAnswer::Cancel) << false << old << edited;
}

void TestGebruikersEditor::leavingAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, mayLeave);
    QFETCH(QString, storedName);
    QFETCH(QString, shownName);
    EditorFixture f;
    auto op =
        GebruikerRepository(*f.conn).checkLogin(QStringLiteral("op1"), QStringLiteral("geheim"));
    QVERIFY(op.ok() && op->has_value());
    GebruikersPanel panel(f.ctx);
    panel.show();
    panel.showItem((*op)->id);
    QCOMPARE(textOf(&panel, "txtnaam"), QStringLiteral("Operator Een"));
    typeInto(&panel, "txtnaam", QStringLiteral("Operator Één"));
    QVERIFY(panel.isChanged());

    f.prompt.script({answer});
    QCOMPARE(panel.hideMe(), mayLeave);
    QCOMPARE(f.prompt.asked().size(), 1);
    QCOMPARE(f.prompt.asked().first().text, formChangeQuestion());
    QCOMPARE(f.prompt.asked().first().title, QStringLiteral("Let op"));
    QCOMPARE(f.prompt.asked().first().flags, int(PromptFlags::YesNoCancel));
    QCOMPARE((*GebruikerRepository(*f.conn).find((*op)->id))->naam, storedName);
    QCOMPARE(textOf(&panel, "txtnaam"), shownName);
}

void TestGebruikersEditor::unchangedLeavesWithoutAsking()
{
    EditorFixture f;
    GebruikersPanel panel(f.ctx);
    panel.showItem(1);
    QVERIFY(panel.hideMe());
    panel.showItem(0);
    QVERIFY(panel.hideMe());
    QVERIFY(f.prompt.asked().isEmpty());
}

void TestGebruikersEditor::deleteKeepsTheRow()
{
    EditorFixture f;
    GebruikersPanel panel(f.ctx);
    panel.show();
    panel.showItem(1);
    QSignalSpy tree(&panel, &EditorPanel::treeChanged);
    QSignalSpy closed(&panel, &EditorPanel::closed);
    click(&panel, "cmdVerwijder");
    QCOMPARE(tree.count(), 1);
    QCOMPARE(closed.count(), 1);
    auto row = GebruikerRepository(*f.conn).find(1);
    QVERIFY(row.ok() && row->has_value());
    QVERIFY((*row)->deleted);
    QCOMPARE((*row)->naam, QStringLiteral("Operator Een"));
}

void TestGebruikersEditor::passwordMaskedUntilShown()
{
    EditorFixture f;
    GebruikersPanel panel(f.ctx);
    auto* box = child<QLineEdit>(&panel, "txtwachtwoord");
    QCOMPARE(box->echoMode(), QLineEdit::Password);
    child<QCheckBox>(&panel, "chkToonWachtwoord")->setChecked(true);
    QCOMPARE(box->echoMode(), QLineEdit::Normal);
    // Another account starts hidden again.
    panel.showItem(0);
    QCOMPARE(box->echoMode(), QLineEdit::Password);
}

QTEST_MAIN(TestGebruikersEditor)
#include "tst_gebruikerseditor.moc"
