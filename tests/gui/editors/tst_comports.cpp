#include "ComPortPanel.h"
#include "EditorFixture.h"
#include "PortMapping.h"
#include "Repositories.h"

#include <QComboBox>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTreeWidget>

using namespace taviro;
using namespace taviro::test;

namespace {

qint64 addRow(EditorFixture& f, qint64 number, qint64 designation, qint64 baud = 9600)
{
    ComPort p;
    p.number = number;
    p.designation = designation;
    p.baudrate = baud;
    p.string = ComPortPanel::defaultModemString();
    p.timeout = 15;
    return *ComPortRepository(*f.conn).insert(p);
}

void clickPort(ComPortPanel& panel, qint64 id)
{
    auto* list = child<QTreeWidget>(&panel, "ListView1");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toLongLong() == id) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(item).center());
            QCoreApplication::processEvents(); // the choice follows the click's event
            return;
        }
    }
    QFAIL("port not listed");
}

QStringList listRow(ComPortPanel& panel, int row)
{
    auto* item = child<QTreeWidget>(&panel, "ListView1")->topLevelItem(row);
    return {item->text(0), item->text(1), item->text(2)};
}

ComPort storedPort(EditorFixture& f, qint64 id)
{
    return **ComPortRepository(*f.conn).find(id);
}

} // namespace

class TestComPorts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void comNumbersMapToDevices();
    void newPortProposesANumber_data();
    void newPortProposesANumber();
    void sendingModemSaved();
    void editableFieldsFollowTheUse_data();
    void editableFieldsFollowTheUse();
    void switchingPortsAsks_data();
    void switchingPortsAsks();
    void portNumberChecked_data();
    void portNumberChecked();
    void deleteRemovesTheRow();
    void reinitRestartsServicesOnYes();
    void keyboardChoosesThePort_data();
    void keyboardChoosesThePort();
};

void TestComPorts::comNumbersMapToDevices()
{
    QTemporaryFile pty;
    QVERIFY(pty.open());
    QProcessEnvironment env;
    env.insert(QStringLiteral("TAVIRO_COM7"), pty.fileName());
    env.insert(QStringLiteral("TAVIRO_COM9"), QStringLiteral("/dev/nonexistent-taviro"));
    QCOMPARE(deviceForCom(1, env), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(deviceForCom(7, env), pty.fileName());
    QCOMPARE(comNumbersFor({QStringLiteral("/dev/ttyS2"), QStringLiteral("/dev/ttyS0"),
                            QStringLiteral("/dev/ttyUSB0")},
                           env),
             (QList<int>{1, 3, 7}));
}

void TestComPorts::newPortProposesANumber_data()
{
    QTest::addColumn<QList<int>>("workstation");
    QTest::addColumn<qint64>("number");
    QTest::newRow("no ports") << QList<int>{} << qint64(1);
    QTest::newRow("one port") << QList<int>{4} << qint64(1);
    QTest::newRow("two ports") << QList<int>{3, 5} << qint64(3);
}

void TestComPorts::newPortProposesANumber()
{
    QFETCH(QList<int>, workstation);
    QFETCH(qint64, number);
    EditorFixture f;
    const qint64 used = addRow(f, 3, 1);
    ComPortPanel panel(f.ctx, nullptr, workstation);
    panel.show();
    click(&panel, "cmdadd");
    QCOMPARE(panel.ports().size(), 2);
    const ComPort p = panel.ports().last();
    QVERIFY(p.id > used);
    QCOMPARE(storedPort(f, p.id).number, number);
    QCOMPARE(storedPort(f, p.id).string, ComPortPanel::defaultModemString());
    QCOMPARE(listRow(panel, 1),
             (QStringList{QString::number(number), QStringLiteral("Geen"), QString()}));
    QCOMPARE(panel.selectedId(), 0);
}

void TestComPorts::sendingModemSaved()
{
    EditorFixture f;
    const qint64 id = addRow(f, 1, 0);
    ComPortPanel panel(f.ctx, nullptr, QList<int>{1, 2});
    panel.show();
    clickPort(panel, id);
    QCOMPARE(panel.selectedId(), id);
    click(&panel, "Option1_2");
    click(&panel, "modemTypeOption_1");
    QCOMPARE(textOf(&panel, "stringText"), QStringLiteral("AT&FE0"));
    click(&panel, "modemTypeOption_0"); // PSTN keeps the string
    QCOMPARE(textOf(&panel, "stringText"), QStringLiteral("AT&FE0"));
    click(&panel, "modemTypeOption_1");
    typeInto(&panel, "baudrateText", QStringLiteral("19200"));
    child<QComboBox>(&panel, "parityCombo")->setCurrentText(QStringLiteral("E"));
    child<QComboBox>(&panel, "cboports")->setCurrentText(QStringLiteral("2"));
    click(&panel, "cmdOpslaan");
    const ComPort p = storedPort(f, id);
    QCOMPARE(p.designation, 2);
    QCOMPARE(p.number, 2);
    QCOMPARE(p.baudrate, 19200);
    QCOMPARE(p.string, QStringLiteral("AT&FE0"));
    QCOMPARE(p.parity, QStringLiteral("E"));
    QVERIFY(p.is_gsm);
    QCOMPARE(listRow(panel, 0),
             (QStringList{QStringLiteral("2"), QStringLiteral("Verzendende Modem"),
                          QStringLiteral("19200")}));
    QVERIFY(!panel.isChanged());
}

void TestComPorts::editableFieldsFollowTheUse_data()
{
    QTest::addColumn<int>("designation");
    QTest::addColumn<QString>(
        "enabled"); // b d p s t m: baud, bits, parity, stop, string+timeout, modem
    QTest::newRow("niet in gebruik") << 0 << "------";
    QTest::newRow("ontvangende modem") << 1 << "bdpst-";
    QTest::newRow("zendende modem") << 2 << "bdps-m";
    QTest::newRow("MES-6") << 3 << "------";
    QTest::newRow("spraak") << 4 << "b-----";
    QTest::newRow("lamp") << 5 << "------";
}

void TestComPorts::editableFieldsFollowTheUse()
{
    QFETCH(int, designation);
    QFETCH(QString, enabled);
    EditorFixture f;
    const qint64 id = addRow(f, 1, designation);
    ComPortPanel panel(f.ctx, nullptr, QList<int>{1});
    panel.show();
    clickPort(panel, id);
    QString seen;
    seen += child(&panel, "baudrateText")->isEnabled() ? QLatin1Char('b') : QLatin1Char('-');
    seen += child(&panel, "databitsCombo")->isEnabled() ? QLatin1Char('d') : QLatin1Char('-');
    seen += child(&panel, "parityCombo")->isEnabled() ? QLatin1Char('p') : QLatin1Char('-');
    seen += child(&panel, "stopbitsCombo")->isEnabled() ? QLatin1Char('s') : QLatin1Char('-');
    QCOMPARE(child(&panel, "timeoutText")->isEnabled(),
             child(&panel, "stringText")->isEnabled() && designation == 1);
    seen += child(&panel, "timeoutText")->isEnabled() ? QLatin1Char('t') : QLatin1Char('-');
    seen += child(&panel, "modemTypeOption_1")->isEnabled() ? QLatin1Char('m') : QLatin1Char('-');
    QCOMPARE(seen, enabled);
    QVERIFY(child(&panel, "cboports")->isEnabled());
    QCOMPARE(listRow(panel, 0).at(2).isEmpty(), designation == 0 || designation == 5);
}

void TestComPorts::switchingPortsAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<qint64>("storedBaud");
    QTest::newRow("yes") << int(PromptAnswer::Yes) << true << qint64(2400);
    QTest::newRow("no") << int(PromptAnswer::No) << true << qint64(9600);
    QTest::newRow("cancel") << int(PromptAnswer::Cancel) << false << qint64(9600);
}

void TestComPorts::switchingPortsAsks()
{
    QFETCH(int, answer);
    QFETCH(bool, moved);
    QFETCH(qint64, storedBaud);
    EditorFixture f;
    const qint64 first = addRow(f, 1, 4);
    const qint64 second = addRow(f, 2, 1);
    ComPortPanel panel(f.ctx, nullptr, QList<int>{1, 2});
    panel.show();
    clickPort(panel, first);
    typeInto(&panel, "baudrateText", QStringLiteral("2400"));
    f.prompt.script({answer});
    clickPort(panel, second);
    QCOMPARE(f.askedTexts(), QStringList{QStringLiteral("Wilt u de wijzigingen opslaan?")});
    QCOMPARE(panel.selectedId(), moved ? second : first);
    QCOMPARE(storedPort(f, first).baudrate, storedBaud);
    QCOMPARE(textOf(&panel, "baudrateText"),
             moved ? QStringLiteral("9600") : QStringLiteral("2400"));
}

void TestComPorts::portNumberChecked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<qint64>("stored");
    QTest::newRow("not a number") << "abc" << "U kunt alleen een getal invoeren groter dan 0." << qint64(1);
    QTest::newRow("zero") << "0" << "U kunt alleen een getal invoeren groter dan 0." << qint64(1);
    QTest::newRow("not on this machine") << "7" << "Deze compoort is niet beschikbaar op uw computer." << qint64(7);
    QTest::newRow("present") << "2" << QString() << qint64(2);
}

void TestComPorts::portNumberChecked()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(qint64, stored);
    EditorFixture f;
    const qint64 id = addRow(f, 1, 1);
    ComPortPanel panel(f.ctx, nullptr, QList<int>{1, 2});
    panel.show();
    clickPort(panel, id);
    auto* edit = child<QComboBox>(&panel, "cboports")->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(f.askedTexts(), message.isEmpty() ? QStringList() : QStringList{message});
    click(&panel, "cmdOpslaan");
    QCOMPARE(storedPort(f, id).number, stored);
}

void TestComPorts::deleteRemovesTheRow()
{
    EditorFixture f;
    const qint64 id = addRow(f, 1, 5);
    const qint64 other = addRow(f, 2, 3);
    ComPortPanel panel(f.ctx, nullptr, QList<int>{1, 2});
    panel.show();
    QVERIFY(!child(&panel, "cmddelete")->isEnabled());
    clickPort(panel, id);
    click(&panel, "cmddelete");
    QVERIFY(!ComPortRepository(*f.conn).find(id)->has_value());
    QVERIFY(ComPortRepository(*f.conn).find(other)->has_value());
    QCOMPARE(panel.selectedId(), 0);
    QCOMPARE(panel.ports().size(), 1);
    QVERIFY(!child(&panel, "settingsFrame")->isEnabled());
    // Nothing of the deleted port stays on the form.
    QCOMPARE(child<QComboBox>(&panel, "cboports")->currentText(), QString());
    for (auto* radio : panel.findChildren<QRadioButton*>())
        QVERIFY2(!radio->isChecked(), qPrintable(radio->objectName()));
    for (auto* edit : panel.findChildren<QLineEdit*>())
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName() + QLatin1Char('=') + edit->text()));
}

void TestComPorts::reinitRestartsServicesOnYes()
{
    EditorFixture f;
    ComPortPanel panel(f.ctx, nullptr, QList<int>{});
    panel.show();
    f.prompt.script({PromptAnswer::No, PromptAnswer::Yes});
    click(&panel, "reinitComButton");
    QCOMPARE(f.servicesRestarted, 0);
    click(&panel, "reinitComButton");
    QCOMPARE(f.servicesRestarted, 1);
    QCOMPARE(f.prompt.asked().first().text,
             QStringLiteral("Weet u zeker dat u de poorten wilt herinitialiseren? Dit kan mogelijk "
                            "gevolg hebben voor "
                            "nu binnenkomende meldingen."));
    QCOMPARE(f.prompt.asked().first().flags, int(PromptFlags::YesNo));
}

QTEST_MAIN(TestComPorts)
#include "tst_comports.moc"

// The port on the form is the one the list's cursor is on, moved by keys as
// well as by the mouse; a refused move puts the cursor back.
void TestComPorts::keyboardChoosesThePort_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("row");
    QTest::newRow("down") << QList<int>{Qt::Key_Down} << false << 0 << 1;
    QTest::newRow("down, down") << QList<int>{Qt::Key_Down, Qt::Key_Down} << false << 0 << 2;
    QTest::newRow("end, up") << QList<int>{Qt::Key_End, Qt::Key_Up} << false << 0 << 1;
    QTest::newRow("escape stays") << QList<int>{Qt::Key_Escape} << false << 0 << 0;
    QTest::newRow("edited, saved") << QList<int>{Qt::Key_Down} << true << int(PromptAnswer::Yes) << 1;
    QTest::newRow("edited, cancelled") << QList<int>{Qt::Key_Down} << true << int(PromptAnswer::Cancel) << 0;
}

void TestComPorts::keyboardChoosesThePort()
{
    QFETCH(QList<int>, keys);
    QFETCH(bool, edited);
    QFETCH(int, answer);
    QFETCH(int, row);
    EditorFixture f;
    const QList<qint64> ids{addRow(f, 1, 1), addRow(f, 2, 4), addRow(f, 3, 0)};
    ComPortPanel panel(f.ctx, nullptr, QList<int>{1, 2, 3});
    panel.show();
    auto* list = child<QTreeWidget>(&panel, "ListView1");
    clickPort(panel, ids[0]);
    if (edited) {
        typeInto(&panel, "baudrateText", QStringLiteral("2400"));
        f.prompt.script({answer});
    }
    list->setFocus();
    for (int key : keys) {
        QTest::keyClick(list, Qt::Key(key));
        QCoreApplication::processEvents();
    }
    QCOMPARE(panel.selectedId(), ids[row]);
    QCOMPARE(list->currentItem()->data(0, Qt::UserRole).toLongLong(), ids[row]);
    QCOMPARE(child<QComboBox>(&panel, "cboports")->currentText(), QString::number(row + 1));
    QCOMPARE(f.askedTexts().size(), edited ? 1 : 0);
    if (edited)
        QCOMPARE(storedPort(f, ids[0]).baudrate, answer == int(PromptAnswer::Yes) ? 2400 : 9600);
}
