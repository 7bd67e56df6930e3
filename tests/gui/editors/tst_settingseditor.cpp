#include "EditorFixture.h"
#include "Repositories.h"
#include "SettingsPanel.h"

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>

using namespace taviro;
using namespace taviro::test;

namespace {
Settings storedSettings(EditorFixture& f)
{
    return **SettingsRepository(*f.conn).load();
}
} // namespace

class TestSettingsEditor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyColumnRoundTrips();
    void mailboxChangeRestartsReceiver_data();
    void mailboxChangeRestartsReceiver();
    void nonNumberRefusesTheWholeSave();
    void switchedOffFieldsKeepTheirTexts();
    void emptyTableWritesNothing();
    void testButtonMakesATestReport();
    void showsTheWorkstationsChosenPrinter();
};

void TestSettingsEditor::everyColumnRoundTrips()
{
    EditorFixture f;
    const Settings before = storedSettings(f);
    SettingsPanel panel(f.ctx);
    panel.show();
    QCOMPARE(textOf(&panel, "txtServer"), QStringLiteral("localhost"));
    typeInto(&panel, "txtServer", QStringLiteral("smtp.example.nl"));
    typeInto(&panel, "smtpPortText", QStringLiteral("587"));
    typeInto(&panel, "txtFromName", QStringLiteral("Meldkamer 't Gooi"));
    typeInto(&panel, "txtSubject", QStringLiteral("Alarm %MELDER% – %PLAATS%"));
    click(&panel, "chkauthentificatie");
    typeInto(&panel, "txtUserName", QStringLiteral("meldkamer"));
    typeInto(&panel, "txtPassword", QStringLiteral("g€heim"));
    typeInto(&panel, "txtsmsfrom", QStringLiteral("0612345678"));
    click(&panel, "chkeinddienst");
    typeInto(&panel, "txteindtijd", QStringLiteral("23:30"));
    typeInto(&panel, "txtZondag", QStringLiteral("0:00-24:00"));
    click(&panel, "chkprintdirect");
    child<QPlainTextEdit>(&panel, "elkeMeldingEmailText")
        ->setPlainText(QStringLiteral("a@example.nl\nb@example.nl"));
    click(&panel, "autoBemandNaInloggenCheck");
    click(&panel, "Command1");
    QVERIFY(f.prompt.asked().isEmpty());

    const Settings s = storedSettings(f);
    QCOMPARE(s.mailserver, QStringLiteral("smtp.example.nl"));
    QCOMPARE(s.MailServerPort, 587);
    QCOMPARE(s.mailfromname, QStringLiteral("Meldkamer 't Gooi"));
    QCOMPARE(s.mailsubject, QStringLiteral("Alarm %MELDER% – %PLAATS%"));
    QCOMPARE(s.authentification, before.authentification ? 0 : 1);
    QCOMPARE(s.mailpassword, QStringLiteral("g€heim"));
    QCOMPARE(s.smsfrom, QStringLiteral("0612345678"));
    QCOMPARE(s.einddienst, !before.einddienst);
    QCOMPARE(s.eindtijd, QStringLiteral("23:30"));
    QCOMPARE(s.zondag, QStringLiteral("0:00-24:00"));
    QCOMPARE(s.printdirect, before.printdirect ? 0 : 1);
    QCOMPARE(s.ElkeMeldingEmail, QStringLiteral("a@example.nl\nb@example.nl"));
    QCOMPARE(s.AutoBemandNaInloggen, !before.AutoBemandNaInloggen);
    // Not edited here.
    QCOMPARE(s.DatabaseVersion, before.DatabaseVersion);
    QCOMPARE(s.maxpogingen, before.maxpogingen);
    QVERIFY(!panel.isChanged());
}

void TestSettingsEditor::mailboxChangeRestartsReceiver_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("restarts");
    QTest::newRow("mail server only") << "txtServer" << "smtp.example.nl" << 0;
    QTest::newRow("interval 5 to 10") << "txtOntvangstInterval" << "10" << 1;
    QTest::newRow("port 110 as 110") << "txtOntvangstPort" << "110" << 0;
    QTest::newRow("port 110 as 0110") << "txtOntvangstPort" << "0110" << 1;
    QTest::newRow("user name") << "txtOntvangstUserName" << "alarm@example.nl" << 1;
}

void TestSettingsEditor::mailboxChangeRestartsReceiver()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, restarts);
    EditorFixture f;
    SettingsPanel panel(f.ctx);
    panel.show();
    QCOMPARE(textOf(&panel, "txtOntvangstPort"), QStringLiteral("110"));
    typeInto(&panel, field.toLatin1().constData(), text);
    // Leaving the panel stores it without asking.
    QVERIFY(panel.hideMe());
    QVERIFY(f.prompt.asked().isEmpty());
    QCOMPARE(f.mailReceiverRestarted, restarts);
    // Stored once; a second leave finds nothing new for the mailbox.
    QVERIFY(panel.hideMe());
    QCOMPARE(f.mailReceiverRestarted, restarts);
}

void TestSettingsEditor::nonNumberRefusesTheWholeSave()
{
    EditorFixture f;
    SettingsPanel panel(f.ctx);
    panel.show();
    typeInto(&panel, "txtServer", QStringLiteral("smtp.example.nl"));
    typeInto(&panel, "txtOntvangstTimeout", QStringLiteral("zestig"));
    QVERIFY(!panel.hideMe());
    QCOMPARE(f.askedTexts(), QStringList{QStringLiteral(
                                 "U kunt bij \"Timeout (sec)\" alleen een getal invoeren.")});
    QCOMPARE(storedSettings(f).mailserver, QStringLiteral("localhost"));
    QCOMPARE(f.mailReceiverRestarted, 0);
}

void TestSettingsEditor::switchedOffFieldsKeepTheirTexts()
{
    EditorFixture f;
    SettingsPanel panel(f.ctx);
    panel.show();
    auto* auth = child<QCheckBox>(&panel, "chkauthentificatie");
    if (!auth->isChecked())
        click(&panel, "chkauthentificatie");
    typeInto(&panel, "txtUserName", QStringLiteral("piet"));
    click(&panel, "chkauthentificatie");
    QVERIFY(!child<QLineEdit>(&panel, "txtUserName")->isEnabled());
    QCOMPARE(textOf(&panel, "txtUserName"), QStringLiteral("piet"));
    auto* actief = child<QCheckBox>(&panel, "onbemandRoosterActiefCheck");
    QVERIFY(actief->isChecked());
    typeInto(&panel, "txtmaandag", QStringLiteral("8:00-17:00"));
    click(&panel, "onbemandRoosterActiefCheck");
    QVERIFY(!child<QLineEdit>(&panel, "txtmaandag")->isEnabled());
    click(&panel, "Command1");
    const Settings s = storedSettings(f);
    QCOMPARE(s.authentification, 0);
    QCOMPARE(s.mailusername, QStringLiteral("piet"));
    QVERIFY(!s.OnbemandRoosterActief);
    QCOMPARE(s.maandag, QStringLiteral("8:00-17:00"));
}

void TestSettingsEditor::emptyTableWritesNothing()
{
    EditorFixture f;
    QVERIFY(f.conn->exec(QStringLiteral("DELETE FROM settings")).ok());
    SettingsPanel panel(f.ctx);
    panel.show();
    QCOMPARE(textOf(&panel, "txtServer"), QString());
    typeInto(&panel, "txtServer", QStringLiteral("smtp.example.nl"));
    QVERIFY(panel.hideMe());
    QCOMPARE(f.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM settings"))->toInt(), 0);
}

void TestSettingsEditor::testButtonMakesATestReport()
{
    EditorFixture f;
    SettingsPanel panel(f.ctx);
    panel.show();
    click(&panel, "testAlarmButton");
    QCOMPARE(f.testReports, 1);
    QFile log(f.log.fileFor(f.clock.now()));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("Testmelding gemaakt.")));
    // The installer sees what became of it, or why it failed.
    QCOMPARE(f.askedTexts(), QStringList{*f.testReportOutcome});
    f.testReportOutcome = Result<QString>::failure(QStringLiteral("database is locked"));
    click(&panel, "testAlarmButton");
    QCOMPARE(f.askedTexts().last(), QStringLiteral("De testmelding is mislukt: database is locked"));
}

void TestSettingsEditor::showsTheWorkstationsChosenPrinter()
{
    // The printer box shows the printer reports go to, not merely the
    // system's default, also when the panel is filled again.
    EditorFixture f;
    QString chosen = QStringLiteral("Meldkamer-laser");
    f.ctx.shownPrinter = [&chosen] { return chosen; };
    SettingsPanel panel(f.ctx);
    panel.show();
    QCOMPARE(textOf(&panel, "txtprinter"), QStringLiteral("Meldkamer-laser"));
    chosen = QStringLiteral("Kantoor-HP");
    QVERIFY(panel.hideMe());
    panel.showItem(0);
    QCOMPARE(textOf(&panel, "txtprinter"), QStringLiteral("Kantoor-HP"));
    // A machine without any printer says so instead of showing an empty box.
    chosen.clear();
    QVERIFY(panel.hideMe());
    panel.showItem(0);
    auto* box = child<QLineEdit>(&panel, "txtprinter");
    QVERIFY(box->text().isEmpty());
    QCOMPARE(box->placeholderText(), QStringLiteral("Geen printer gevonden of gekozen"));
}

QTEST_MAIN(TestSettingsEditor)
#include "tst_settingseditor.moc"
