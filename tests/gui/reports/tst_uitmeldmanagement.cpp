#include "ReportsGuiFixture.h"
#include "UitmeldManagement.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTreeWidget>

using namespace taviro;
using namespace taviro::test;

class TestUitmeldManagement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyWhenNothingIsOpen()
    {
        ReportsGuiFixture f;
        const qint64 m = f.melding(f.at(2, 8, 0), false);
        f.link(f.dispatch(f.jan, f.at(2, 8, 1), true, 1), f.line(m, f.inbraak, 1, f.at(2, 8, 0)));
        UitmeldManagement dialog(*f.conn, f.log, f.prompt, f.clock, f.kOperator);
        QCOMPARE(dialog.findChild<QTreeWidget*>(QStringLiteral("actueelList"))->topLevelItemCount(), 0);
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("deleteUitmeldingenButton"))->isEnabled());
        QVERIFY(dialog.detail()->isHidden());
    }

    void listClickShowsTheReport()
    {
        ReportsGuiFixture f;
        const qint64 older = f.forwardedReport(f.at(2, 9, 0));
        const qint64 newer = f.forwardedReport(f.at(2, 10, 15));
        UitmeldManagement dialog(*f.conn, f.log, f.prompt, f.clock, f.kOperator);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("actueelList"));
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("2026-12-02 10:15:00")); // newest on top
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Stationsweg 1"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(1)).center());
        QVERIFY(dialog.detail()->isVisible());
        QCOMPARE(dialog.detail()->meldingId(), older);
        QVERIFY(dialog.detail()->findChild<QPushButton*>(QStringLiteral("Command1"))->isHidden());
        // Nothing is acknowledged here, so nothing is printed on acknowledging.
        QVERIFY(dialog.detail()->findChild<QCheckBox*>(QStringLiteral("chkprint"))->isHidden());

        // The arrow keys show the report they land on.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(dialog.detail()->meldingId(), newer);
    }

    void bulkClose_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("openAfter");
        QTest::newRow("yes closes every recipient's dispatch") << PromptAnswer::Yes << 0;
        QTest::newRow("no changes nothing") << PromptAnswer::No << 2;
    }
    void bulkClose()
    {
        QFETCH(int, answer);
        QFETCH(int, openAfter);
        ReportsGuiFixture f;
        const qint64 a = f.forwardedReport(f.at(2, 9, 0));
        // A second open dispatch on the same report: still one list item.
        f.link(f.dispatch(f.jan, f.at(2, 9, 5), false, 0), f.line(a, f.brand, 1, f.at(2, 9, 0)));
        f.prompt.script({answer});
        UitmeldManagement dialog(*f.conn, f.log, f.prompt, f.clock, f.kOperator);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("actueelList"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        QVERIFY(dialog.detail()->isVisible());
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("deleteUitmeldingenButton")), Qt::LeftButton);
        // The detail never goes on showing dispatches as open once they are closed.
        QCOMPARE(dialog.detail()->isVisible(), openAfter > 0);

        QCOMPARE(f.prompt.asked().size(), 1);
        QCOMPARE(f.prompt.asked().first().text,
                 QStringLiteral("Weet u zeker dat u alle nog openstaande uitmeldingen wilt verwijderen?"));
        QCOMPARE(f.prompt.asked().first().flags, PromptFlags::YesNo);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = 0")), qint64(openAfter));
        QCOMPARE(list->topLevelItemCount(), openAfter ? 1 : 0);
        QCOMPARE(f.logText().contains(QStringLiteral("Alle openstaande uitmeldingen zijn verwijderd.")), openAfter == 0);
        // Closed means closed by this operator, so repetition leaves them
        // alone; the sent SMS to Jan is closed too, the bookkeeping one not.
        const qint64 closed = openAfter == 0 ? 3 : 0;
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestiger = ? AND bevestigtype = 3 "
                                         "AND bevestigdate IS NOT NULL"),
                          {f.kOperator}),
                 closed);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype <> 0")), closed);
        // Closing is not acknowledging: the report stays in the current list.
        QCOMPARE(f.number(QStringLiteral("SELECT show FROM meldingen WHERE id = ?"), {a}), 1);
    }
};

QTEST_MAIN(TestUitmeldManagement)
#include "tst_uitmeldmanagement.moc"
