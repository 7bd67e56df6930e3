#include "EditorFixture.h"
#include "GebruikersPanel.h"
#include "PasswordHash.h"
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
    void passwordIsNeverShown_data();
    void passwordIsNeverShown();
    void newAccountNeedsAPassword();
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
    QVERIFY(password::matches(QStringLiteral("pa'ss"), all->first().wachtwoord));
    QVERIFY(password::isHash(all->first().wachtwoord));
    QVERIFY(textOf(&panel, "txtwachtwoord").isEmpty());
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

// The form never holds a stored password: an empty box keeps it, a typed one
// replaces it by the new one's hash.
void TestGebruikersEditor::passwordIsNeverShown_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("validAfter");
    QTest::addColumn<QString>("invalidAfter");
    QTest::newRow("name only: password kept") << QString() << QStringLiteral("geheim") << QStringLiteral("nieuw");
    QTest::newRow("new password") << QStringLiteral("nieuw") << QStringLiteral("nieuw") << QStringLiteral("geheim");
}

void TestGebruikersEditor::passwordIsNeverShown()
{
    QFETCH(QString, typed);
    QFETCH(QString, validAfter);
    QFETCH(QString, invalidAfter);
    EditorFixture f;
    auto op = GebruikerRepository(*f.conn).checkLogin(QStringLiteral("op1"), QStringLiteral("geheim"));
    QVERIFY(op.ok() && op->has_value());
    GebruikersPanel panel(f.ctx);
    panel.show();
    panel.showItem((*op)->id);
    QVERIFY(textOf(&panel, "txtwachtwoord").isEmpty());
    QVERIFY(!panel.isChanged());
    child<QCheckBox>(&panel, "chkToonWachtwoord")->setChecked(true);
    QVERIFY(textOf(&panel, "txtwachtwoord").isEmpty());

    typeInto(&panel, "txtnaam", QStringLiteral("Operator Één"));
    if (!typed.isEmpty())
        typeInto(&panel, "txtwachtwoord", typed);
    click(&panel, "cmdOpslaan");
    QVERIFY(f.prompt.asked().isEmpty());
    QVERIFY(textOf(&panel, "txtwachtwoord").isEmpty());
    GebruikerRepository repo(*f.conn);
    QVERIFY((*repo.checkLogin(QStringLiteral("op1"), validAfter)).has_value());
    QVERIFY(!(*repo.checkLogin(QStringLiteral("op1"), invalidAfter)).has_value());
    QCOMPARE((*repo.find((*op)->id))->naam, QStringLiteral("Operator Één"));
}

void TestGebruikersEditor::newAccountNeedsAPassword()
{
    EditorFixture f;
    GebruikersPanel panel(f.ctx);
    panel.show();
    typeInto(&panel, "txtalias", QStringLiteral("NP"));
    typeInto(&panel, "txtlogin", QStringLiteral("zonder"));
    click(&panel, "cmdOpslaan");
    QCOMPARE(panel.currentId(), qint64(0));
    QCOMPARE(f.prompt.asked().size(), 1);
    QCOMPARE(f.prompt.asked().first().text, QStringLiteral("Geef de nieuwe gebruiker een wachtwoord."));
    QVERIFY(!(*GebruikerRepository(*f.conn).list(QStringLiteral("WHERE loginnaam = ?"), {QStringLiteral("zonder")}))
                 .size());
}

QTEST_MAIN(TestGebruikersEditor)
#include "tst_gebruikerseditor.moc"
