#include "EditorFixture.h"
#include "OntvangerPanel.h"
#include "Repositories.h"
#include "SqlValues.h"
#include "Installation.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QSignalSpy>

using namespace taviro;
using namespace taviro::test;

class TestOntvangersEditor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newRecipientIsStoredOnce();
    void hiddenColumnsSurviveASave();
    void badPinCodeSavesNothing();
    void checkBoxCountsAsChange();
    void deleteRefusedWhilePlanned_data();
    void deleteRefusedWhilePlanned();
    void duplicateAliasSavedWithoutAsking();
    void savedFormShowsWhatWasStored_data();
    void savedFormShowsWhatWasStored();
    void storedLineEndsAreNoChange();
    void deleteDropsTheEdits();
    void unreachableChoiceWarnsButSaves_data();
    void unreachableChoiceWarnsButSaves();
    void savingEndsTheRecipientsRetryPause();
    void addressesAreStoredWithoutWhiteSpace_data();
    void addressesAreStoredWithoutWhiteSpace();
    void tabLeavesTheAddressBox();
};

void TestOntvangersEditor::newRecipientIsStoredOnce()
{
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    typeInto(&panel, "txtalias", QStringLiteral("HvD"));
    typeInto(&panel, "txtnaam", QStringLiteral("Henk van 't Hoff"));
    typeInto(&panel, "txtplaats", QStringLiteral("Zoetermeer"));
    typeInto(&panel, "txtmobielnr", QStringLiteral("+31611122233"));
    child<QPlainTextEdit>(&panel, "txtemail")
        ->setPlainText(QStringLiteral("henk@example.nl\nwacht@example.nl"));
    typeInto(&panel, "intpincode", QStringLiteral("4321"));
    click(&panel, "smsCheck");
    click(&panel, "chksuperpin");
    click(&panel, "cmdOpslaan");
    const qint64 id = panel.currentId();
    QVERIFY(id > 0);
    click(&panel, "emailCheck");
    click(&panel, "cmdOpslaan");
    QCOMPARE(panel.currentId(), id);

    auto rows = OntvangerRepository(*f.conn).list(QStringLiteral("WHERE alias = ?"),
                                                  {QStringLiteral("HvD")});
    QVERIFY(rows.ok());
    QCOMPARE(rows->size(), 1);
    const Ontvanger& o = rows->first();
    QCOMPARE(o.naam, QStringLiteral("Henk van 't Hoff"));
    QCOMPARE(o.email, QStringLiteral("henk@example.nl\nwacht@example.nl"));
    QCOMPARE(o.pincode, 4321);
    QVERIFY(o.superpin && o.UseSMS && o.UseEmail && o.actief && !o.deleted);
    QVERIFY(!panel.isChanged());
}

void TestOntvangersEditor::hiddenColumnsSurviveASave()
{
    EditorFixture f;
    OntvangerRepository repo(*f.conn);
    Ontvanger o;
    o.alias = QStringLiteral("SEM");
    o.naam = QStringLiteral("Semafoon");
    o.semafoonnr = QStringLiteral("06-555");
    o.subcode = 7;
    auto id = repo.insert(o);
    QVERIFY(id.ok());
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(*id);
    typeInto(&panel, "txtnaam", QStringLiteral("Semafoon oud"));
    click(&panel, "cmdOpslaan");
    auto back = repo.find(*id);
    QCOMPARE((*back)->naam, QStringLiteral("Semafoon oud"));
    QCOMPARE((*back)->semafoonnr, QStringLiteral("06-555"));
    QCOMPARE((*back)->subcode, 7);
}

void TestOntvangersEditor::badPinCodeSavesNothing()
{
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(1);
    typeInto(&panel, "txtnaam", QStringLiteral("Jan de Vries jr."));
    typeInto(&panel, "intpincode", QStringLiteral("12a"));
    click(&panel, "cmdOpslaan");
    QCOMPARE(f.askedTexts(), QStringList{QStringLiteral("De pincode moet een getal zijn.")});
    QCOMPARE((*OntvangerRepository(*f.conn).find(1))->naam, QStringLiteral("Jan de Vries"));
    // Leaving with Yes runs into the same refusal and keeps the panel.
    f.prompt.script({PromptAnswer::Yes});
    QVERIFY(!panel.hideMe());
    QCOMPARE(textOf(&panel, "intpincode"), QStringLiteral("12a"));
}

void TestOntvangersEditor::checkBoxCountsAsChange()
{
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(2);
    QVERIFY(!panel.isChanged());
    click(&panel, "emailCheck");
    QVERIFY(panel.isChanged());
    f.prompt.script({PromptAnswer::No});
    QVERIFY(panel.hideMe());
    QVERIFY(!(*OntvangerRepository(*f.conn).find(2))->UseEmail);
    QVERIFY(!child<QCheckBox>(&panel, "emailCheck")->isChecked());
}

void TestOntvangersEditor::deleteRefusedWhilePlanned_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("in a schedule") << QStringLiteral("active") << false;
    QTest::newRow("only in a deleted schedule") << QStringLiteral("deleted") << true;
    QTest::newRow("in no schedule") << QStringLiteral("none") << true;
}

void TestOntvangersEditor::deleteRefusedWhilePlanned()
{
    QFETCH(QString, where);
    QFETCH(bool, deleted);
    EditorFixture f;
    Ontvanger o;
    o.alias = QStringLiteral("NEW");
    o.naam = QStringLiteral("Nieuw");
    const qint64 id = *OntvangerRepository(*f.conn).insert(o);
    if (where != QStringLiteral("none")) {
        WeekPlanning w;
        w.alias = w.naam = QStringLiteral("W");
        w.cells[0] = id; // cell "0" counts like any other
        w.deleted = where == QStringLiteral("deleted");
        QVERIFY(WeekPlanningRepository(*f.conn).insert(w).ok());
    }
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(id);
    QSignalSpy closed(&panel, &EditorPanel::closed);
    click(&panel, "VerwijderBtn");
    QCOMPARE((*OntvangerRepository(*f.conn).find(id))->deleted, deleted);
    QCOMPARE(closed.count(), deleted ? 1 : 0);
    if (!deleted)
        QCOMPARE(f.askedTexts(),
                 QStringList{QStringLiteral("Ontvanger kan niet verwijderd worden. Deze ontvanger "
                                            "staat nog in het weekrooster.")});
}

// Two recipients may share an alias: saved without a question, with a word
// for the status bar.
void TestOntvangersEditor::duplicateAliasSavedWithoutAsking()
{
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    QSignalSpy notes(&panel, &EditorPanel::note);
    typeInto(&panel, "txtalias", QStringLiteral("JDV"));
    typeInto(&panel, "txtnaam", QStringLiteral("Jeroen de Vos"));
    click(&panel, "cmdOpslaan");
    QVERIFY(f.askedTexts().isEmpty());
    auto same = OntvangerRepository(*f.conn).list(QStringLiteral("WHERE alias = ?"),
                                                  {QStringLiteral("JDV")});
    QCOMPARE(same->size(), 2);
    QCOMPARE(notes.size(), 1);
    QCOMPARE(notes[0][0].toString(),
             QStringLiteral("De alias \"JDV\" wordt ook gebruikt door Jan de Vries."));
    // A recipient whose alias is its own gets no note.
    panel.showItem(2);
    typeInto(&panel, "txtplaats", QStringLiteral("Baarn"));
    click(&panel, "cmdOpslaan");
    QCOMPARE(notes.size(), 1);
    QVERIFY(f.askedTexts().isEmpty());
}

// After "Opslaan" the form holds what the database holds, so leaving the
// panel at once asks nothing.
void TestOntvangersEditor::savedFormShowsWhatWasStored_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("stored");
    QTest::newRow("empty") << QString() << QStringLiteral("0") << 0;
    QTest::newRow("leading zeros") << QStringLiteral("007") << QStringLiteral("7") << 7;
    QTest::newRow("blanks around") << QStringLiteral(" 12 ") << QStringLiteral("12") << 12;
    QTest::newRow("plain") << QStringLiteral("4321") << QStringLiteral("4321") << 4321;
}
void TestOntvangersEditor::savedFormShowsWhatWasStored()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, stored);
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(2);
    typeInto(&panel, "intpincode", typed);
    click(&panel, "cmdOpslaan");
    QCOMPARE((*OntvangerRepository(*f.conn).find(2))->pincode, stored);
    QCOMPARE(textOf(&panel, "intpincode"), shown);
    QVERIFY(!panel.isChanged());
    QVERIFY(panel.hideMe());
    QVERIFY(f.askedTexts().isEmpty());
}

// Addresses stored with Windows line ends are no change merely by being
// shown, and a save without edits keeps them as they were.
void TestOntvangersEditor::storedLineEndsAreNoChange()
{
    EditorFixture f;
    const QString stored = QStringLiteral("jan@example.nl\r\nwacht@example.nl\r\n");
    QVERIFY(f.conn->exec(QStringLiteral("UPDATE ontvangers SET email = ? WHERE id = 1"), {stored}).ok());
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(1);
    QVERIFY(!panel.isChanged());
    QVERIFY(panel.hideMe());
    QVERIFY(f.askedTexts().isEmpty());
    typeInto(&panel, "txtplaats", QStringLiteral("Baarn"));
    click(&panel, "cmdOpslaan");
    QCOMPARE((*OntvangerRepository(*f.conn).find(1))->email, stored);
    QVERIFY(!panel.isChanged());
}

// "Verwijder" with unsaved edits: no question afterwards, and the edits never
// reach the deleted row, not even through a later save.
void TestOntvangersEditor::deleteDropsTheEdits()
{
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(2);
    QVERIFY(f.conn->exec(QStringLiteral("UPDATE weekplanningen SET deleted = ?"), {true}).ok());
    const Ontvanger before = **OntvangerRepository(*f.conn).find(2);
    typeInto(&panel, "txtnaam", QStringLiteral("Iemand anders"));
    QSignalSpy closed(&panel, &EditorPanel::closed);
    click(&panel, "VerwijderBtn");
    QCOMPARE(closed.size(), 1);
    QVERIFY(panel.hideMe());
    QVERIFY(f.askedTexts().isEmpty());
    click(&panel, "cmdOpslaan"); // an empty new form: stored as a new row, if at all
    const Ontvanger after = **OntvangerRepository(*f.conn).find(2);
    QVERIFY(after.deleted);
    QCOMPARE(after.naam, before.naam);
}

void TestOntvangersEditor::unreachableChoiceWarnsButSaves_data()
{
    const QString noNumber = QStringLiteral("SMS is aangevinkt, maar er is geen mobiel nummer ingevuld. Uitmeldingen "
                                            "per SMS kunnen deze ontvanger zo niet bereiken.");
    const QString noAddress = QStringLiteral("Email is aangevinkt, maar er is geen e-mailadres ingevuld. "
                                             "Uitmeldingen per e-mail kunnen deze ontvanger zo niet bereiken.");
    QTest::addColumn<QString>("mobiel");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("sms");
    QTest::addColumn<bool>("mail");
    QTest::addColumn<QStringList>("warnings");
    QTest::newRow("SMS without a number") << QString() << QStringLiteral("kees@example.nl") << true << false
                                          << QStringList{noNumber};
    QTest::newRow("e-mail with only blank lines") << QStringLiteral("+31600000009") << QStringLiteral(" \n\n")
                                                  << false << true << QStringList{noAddress};
    QTest::newRow("both ticked, both empty") << QStringLiteral("  ") << QString() << true << true
                                             << QStringList{noNumber, noAddress};
    QTest::newRow("both filled in") << QStringLiteral("+31600000009") << QStringLiteral("kees@example.nl") << true
                                    << true << QStringList{};
    QTest::newRow("nothing ticked, nothing filled in") << QString() << QString() << false << false << QStringList{};
}

void TestOntvangersEditor::unreachableChoiceWarnsButSaves()
{
    QFETCH(QString, mobiel);
    QFETCH(QString, email);
    QFETCH(bool, sms);
    QFETCH(bool, mail);
    QFETCH(QStringList, warnings);
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    typeInto(&panel, "txtalias", QStringLiteral("KEES"));
    typeInto(&panel, "txtnaam", QStringLiteral("Kees Smit"));
    typeInto(&panel, "txtmobielnr", mobiel);
    child<QPlainTextEdit>(&panel, "txtemail")->setPlainText(email);
    if (sms)
        click(&panel, "smsCheck");
    if (mail)
        click(&panel, "emailCheck");
    click(&panel, "cmdOpslaan");
    QCOMPARE(f.askedTexts(), warnings);
    auto saved = OntvangerRepository(*f.conn).list(QStringLiteral("WHERE alias = ?"), {QStringLiteral("KEES")});
    QCOMPARE(saved->size(), 1);
    QCOMPARE(saved->first().UseSMS, sms);
}

// A recipient whose SMS kept failing is saved (the number corrected): his
// open dispatches lose their pause, a finished one and another's keep theirs.
void TestOntvangersEditor::savingEndsTheRecipientsRetryPause()
{
    EditorFixture f;
    Installation inst(*f.conn);
    const qint64 piet = inst.recipient(QStringLiteral("Piet"), QStringLiteral("+3161"), {}, true, false);
    const qint64 jan = inst.recipient(QStringLiteral("Jan"), QStringLiteral("+3162"), {}, true, false);
    QVERIFY(inst.ok());
    const auto dispatch = [&](qint64 ontvanger, bool done) {
        QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen) "
                                            "VALUES (?, 1, ?, 0)"),
                             {ontvanger, sql::boolValue(done)}));
        QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO uitmeldretry (uitmeld_id, reason, failures, next_try) "
                                            "SELECT MAX(id), 'geweigerd', 6, ? FROM uitmeld"),
                             {sql::dateValue(QDateTime(QDate(2030, 1, 1), QTime(0, 0)), f.conn->dialect())}));
    };
    dispatch(piet, false);
    dispatch(piet, true);
    dispatch(jan, false);
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(piet);
    typeInto(&panel, "txtmobielnr", QStringLiteral("+31687654321"));
    click(&panel, "cmdOpslaan");
    QVERIFY(!panel.isChanged());
    auto left = f.conn->query(QStringLiteral("SELECT u.ontvanger_id, u.done FROM uitmeldretry r "
                                             "JOIN uitmeld u ON u.id = r.uitmeld_id ORDER BY u.id"));
    QVERIFY(left.ok());
    QList<QPair<qint64, bool>> rows;
    while (left->next())
        rows << qMakePair(left->value(0).toLongLong(), sql::toBool(left->value(1)));
    QCOMPARE(rows, (QList<QPair<qint64, bool>>{{piet, true}, {jan, false}}));
}

void TestOntvangersEditor::addressesAreStoredWithoutWhiteSpace_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("tab after the address") << QStringLiteral("jan.devries@example.nl\t") << QStringLiteral("jan.devries@example.nl");
    QTest::newRow("only tabs") << QString(32, QLatin1Char('\t')) << QString();
    QTest::newRow("blanks, tabs and empty lines around two")
        << QStringLiteral(" \ta@example.nl \n\n\t\nb@example.nl\t\r\n") << QStringLiteral("a@example.nl\nb@example.nl");
    QTest::newRow("non-breaking space") << QStringLiteral("\u00a0c@example.nl\u00a0") << QStringLiteral("c@example.nl");
}

void TestOntvangersEditor::addressesAreStoredWithoutWhiteSpace()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    panel.showItem(1);
    child<QPlainTextEdit>(&panel, "txtemail")->setPlainText(typed);
    click(&panel, "cmdOpslaan");
    QCOMPARE((*OntvangerRepository(*f.conn).find(1))->email, stored);
    QVERIFY(!panel.isChanged());
}

// Tab in the address box goes on to the next control, as everywhere else on
// the form, instead of typing a tab into the addresses.
void TestOntvangersEditor::tabLeavesTheAddressBox()
{
    EditorFixture f;
    OntvangerPanel panel(f.ctx);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto* box = child<QPlainTextEdit>(&panel, "txtemail");
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("jan@example.nl"));
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(box->toPlainText(), QStringLiteral("jan@example.nl"));
    QVERIFY(QApplication::focusWidget() != box);
}

QTEST_MAIN(TestOntvangersEditor)
#include "tst_ontvangerseditor.moc"
