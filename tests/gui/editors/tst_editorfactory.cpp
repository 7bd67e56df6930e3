#include "EditorFactory.h"
#include "EditorFixture.h"
#include "Repositories.h"

using namespace taviro;
using namespace taviro::test;

class TestEditorFactory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyBranchHasItsPanel_data();
    void everyBranchHasItsPanel();
    void branchCaptions_data();
    void branchCaptions();
    void inactiveTransmitterBoldDeletedGone();
};

void TestEditorFactory::everyBranchHasItsPanel_data()
{
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<bool>("newNode");
    QTest::newRow("melders") << "melders" << "Melders1" << false;
    QTest::newRow("ontvangers") << "ontvangers" << "Ontvanger1" << true;
    QTest::newRow("weekplanningen") << "weekplanningen" << "WeekPlanner1" << true;
    QTest::newRow("jaarplanningen") << "jaarplanningen" << "JaarPlanner1" << false;
    QTest::newRow("comports") << "comports" << "Instellingen1" << false;
    QTest::newRow("settings") << "settings" << "Settings" << false;
    QTest::newRow("gebruikers") << "gebruikers" << "Gebruikers" << true;
}

void TestEditorFactory::everyBranchHasItsPanel()
{
    QFETCH(QString, branch);
    QFETCH(QString, panel);
    QFETCH(bool, newNode);
    EditorFixture f;
    QVERIFY(editorBranches().contains(branch));
    auto editor = createEditor(branch, f.ctx);
    QVERIFY(editor);
    QCOMPARE(editor->objectName(), panel);
    QCOMPARE(editor->branch(), branch);
    QCOMPARE(branchHasNewNode(branch), newNode);
    QVERIFY(!createEditor(QStringLiteral("C2"), f.ctx));
}

void TestEditorFactory::branchCaptions_data()
{
    QTest::addColumn<QString>("branch");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("ontvangers") << "ontvangers"
                                << QStringList{QStringLiteral("Jan de Vries (JDV)"),
                                               QStringLiteral("José Smit (JSM)"),
                                               QStringLiteral("Marieke Bakker (MBA)"),
                                               QStringLiteral("Pieter Jansen (PJA)")};
    QTest::newRow("weekplanningen") << "weekplanningen"
                                    << QStringList{QStringLiteral("Kerstrooster (KERST)"),
                                                   QStringLiteral("Standaard week (STD)")};
    QTest::newRow("jaarplanningen") << "jaarplanningen" << QStringList{QStringLiteral("Jaarrooster Zorg (JAAR)")};
    QTest::newRow("settings") << "settings" << QStringList{};
}

void TestEditorFactory::branchCaptions()
{
    QFETCH(QString, branch);
    QFETCH(QStringList, captions);
    EditorFixture f;
    auto items = branchItems(*f.conn, branch);
    QVERIFY(items.ok());
    QStringList seen;
    for (const BranchItem& i : *items)
        seen << i.caption;
    QCOMPARE(seen, captions);
}

void TestEditorFactory::inactiveTransmitterBoldDeletedGone()
{
    EditorFixture f;
    MelderRepository repo(*f.conn);
    Melder noord = **repo.find(1);
    noord.naam = QStringLiteral("Noord");
    noord.adres = QStringLiteral("Kade 1");
    noord.actief = false;
    QVERIFY(repo.update(noord).ok());
    QVERIFY(repo.softDelete(3).ok());
    auto items = branchItems(*f.conn, QStringLiteral("melders"));
    QVERIFY(items.ok());
    QCOMPARE(items->size(), 2);
    QCOMPARE(items->at(0).caption, QStringLiteral("Noord (Kade 1)"));
    QCOMPARE(items->at(0).id, 1);
    QVERIFY(items->at(0).bold);
    QVERIFY(!items->at(1).bold);
}

QTEST_MAIN(TestEditorFactory)
#include "tst_editorfactory.moc"
