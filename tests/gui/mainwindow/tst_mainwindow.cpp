// Clicks through the console window offscreen, on a real database file, with
// the SMS and mail services replaced by recorders.
#include "AboutBox.h"
#include "ConsoleRig.h"
#include "ActueelModel.h"
#include "AlarmDetail.h"
#include "AlarmLamp.h"
#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "ImageList.h"
#include "LoginDialog.h"
#include "MainWindow.h"
#include "NavigationTree.h"
#include "PanelHost.h"
#include "Repositories.h"
#include "ScriptedPrompt.h"
#include "ServiceHub.h"
#include "ServiceKiller.h"
#include "SqlReportStore.h"
#include "TestDatabase.h"

#include <QAction>
#include <QCheckBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeWidget>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QDir>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace taviro;
using taviro::test::Rig;

namespace {

bool isOpenByUs(const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == target)
            return true;
    return false;
}

// A lamp on COM7 that is a pseudo-terminal, so the test sees when the
// console holds it open.
struct LampOnPty
{
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    QString slave;
    bool ok = false;
    explicit LampOnPty(Rig& rig)
    {
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = QString::fromLocal8Bit(ptsname(master));
        qputenv("TAVIRO_COM7", slave.toLocal8Bit());
        ComPort lampPort;
        lampPort.number = 7;
        lampPort.designation = 5;
        ok = ComPortRepository(*rig.conn).insert(lampPort).ok();
    }
    ~LampOnPty()
    {
        qunsetenv("TAVIRO_COM7");
        if (master >= 0)
            ::close(master);
    }
};

} // namespace

void clickRow(Rig& rig, int row)
{
    auto* list = rig.find<QTableView>(QStringLiteral("actueelList"));
    const QModelIndex index = rig.window->actueelModel().index(row, 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
}

void acknowledgeShown(Rig& rig)
{
    auto* print = rig.window->detail().findChild<QCheckBox*>(QStringLiteral("chkprint"));
    if (print)
        print->setChecked(false); // no printer here; printing has its own tests
    QTest::mouseClick(rig.window->detail().findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
}

void clickNode(Rig& rig, const QString& key)
{
    NavigationTree& tree = rig.window->tree();
    QTreeWidgetItem* item = tree.node(key);
    QVERIFY2(item, qPrintable(key));
    tree.scrollToItem(item);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
}

QString highlighted(const Rig& rig)
{
    return NavigationTree::keyOf(rig.window->tree().currentItem());
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loginThroughTheDialog()
    {
        Rig rig;
        rig.open({});
        LoginDialog* dialog = rig.window->loginDialog();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(rig.label(QStringLiteral("bemandOnbemandLabel")), QStringLiteral("ONBEMAND"));

        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("txtloginnaam"));
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("txtwachtwoord"));
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"));
        QTest::keyClicks(name, QStringLiteral("op1"));
        QTest::keyClicks(password, QStringLiteral("fout"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(dialog->isVisible());         // no way in
        QVERIFY(password->text().isEmpty());  // and the password is gone
        QVERIFY(rig.prompt.asked().isEmpty()); // without a message

        dialog->close();
        QVERIFY(dialog->isVisible()); // the close box does not dismiss it

        QTest::keyClicks(password, QStringLiteral("geheim"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(rig.label(QStringLiteral("gebruikerLabel")), QStringLiteral("Gebruiker: Operator Een"));
        QCOMPARE(rig.label(QStringLiteral("bemandOnbemandLabel")), QStringLiteral("BEMAND")); // AutoBemandNaInloggen
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<bool>("syntaxMessage");
        QTest::addColumn<QString>("state");
        QTest::newRow("manned") << QStringList{QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")}
                                << false << false << QStringLiteral("BEMAND");
        QTest::newRow("unmanned") << QStringList{QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("onbemand")}
                                  << false << false << QStringLiteral("ONBEMAND");
        QTest::newRow("other word") << QStringList{QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("Bemand")}
                                    << false << false << QStringLiteral("ONBEMAND");
        QTest::newRow("wrong password") << QStringList{QStringLiteral("op1"), QStringLiteral("x"), QStringLiteral("bemand")}
                                        << true << false << QStringLiteral("ONBEMAND");
        QTest::newRow("two arguments") << QStringList{QStringLiteral("op1"), QStringLiteral("geheim")}
                                       << true << true << QStringLiteral("ONBEMAND");
        QTest::newRow("none") << QStringList{} << true << false << QStringLiteral("ONBEMAND");
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, dialog);
        QFETCH(bool, syntaxMessage);
        QFETCH(QString, state);
        Rig rig;
        rig.open(args);
        QCOMPARE(rig.window->loginOpen(), dialog);
        QCOMPARE(rig.label(QStringLiteral("bemandOnbemandLabel")), state);
        QCOMPARE(rig.prompt.asked().size(), syntaxMessage ? 1 : 0);
        if (syntaxMessage)
            QVERIFY(rig.prompt.asked().first().text.endsWith(QStringLiteral("Syntax: TAVIRO gebruikersnaam password bemand")));
    }

    void logOutFollowsTheSetting_data()
    {
        QTest::addColumn<bool>("autoOnbemand");
        QTest::addColumn<QString>("state");
        QTest::newRow("auto unmanned") << true << QStringLiteral("ONBEMAND");
        QTest::newRow("stays manned") << false << QStringLiteral("BEMAND");
    }
    void logOutFollowsTheSetting()
    {
        QFETCH(bool, autoOnbemand);
        QFETCH(QString, state);
        Rig rig;
        Settings s = **SettingsRepository(*rig.conn).load();
        s.AutoOnbemandNaUitloggen = autoOnbemand;
        QVERIFY(SettingsRepository(*rig.conn).update(s).ok());
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        rig.window->logOut();
        QCOMPARE(rig.label(QStringLiteral("bemandOnbemandLabel")), state);
        QCOMPARE(rig.label(QStringLiteral("gebruikerLabel")), QString());
        QVERIFY(rig.window->loginOpen());
    }

    void toggleAndCloseQuestion()
    {
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        auto* toggle = rig.find<QPushButton>(QStringLiteral("toggleBemandButton"));
        QCOMPARE(toggle->text(), QStringLiteral("Zet onbemand"));
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(rig.label(QStringLiteral("bemandOnbemandLabel")), QStringLiteral("ONBEMAND"));
        QCOMPARE(toggle->text(), QStringLiteral("Zet bemand"));
        QVERIFY(!rig.console.bemand());

        rig.prompt.script({PromptAnswer::No});
        QVERIFY(!rig.window->close());
        QVERIFY(rig.window->isVisible());
        QCOMPARE(rig.prompt.asked().last().flags, PromptFlags::YesNo + PromptFlags::SecondButtonDefault);
        rig.prompt.script({PromptAnswer::Yes});
        QVERIFY(rig.window->close());
    }

    void newReportLandsOnTopWithItsIcon_data()
    {
        QTest::addColumn<bool>("manned");
        QTest::newRow("manned") << true;
        QTest::newRow("unmanned") << false;
    }
    void newReportLandsOnTopWithItsIcon()
    {
        QFETCH(bool, manned);
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), manned ? QStringLiteral("bemand") : QStringLiteral("onbemand")});
        rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
        rig.clock.advanceSecs(60);
        const qint64 newest = rig.storeReport(QStringLiteral("1002"), QStringLiteral("11"));
        rig.window->showNewActueel();

        ActueelModel& model = rig.window->actueelModel();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.meldingIdAt(0), newest);
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("Zorgcentrum 't Lindehof"));
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Lindelaan 4"));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("2026-12-02 10:16:00"));
        QCOMPARE(model.index(0, 0).data(Qt::UserRole).toString(), QStringLiteral("key_%1").arg(newest));
        const QIcon expected = rig.window->images().icon(manned ? QStringLiteral("user_16") : QStringLiteral("cal_16"));
        QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(), expected.cacheKey());

        // A click opens the report in the detail view.
        auto* list = rig.find<QTableView>(QStringLiteral("actueelList"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(model.index(0, 1)).center());
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("AlarmDetail1"));
    }

    // By keyboard: the arrows move through the waiting alarms and Enter
    // opens the one the operator is on, not the one clicked last.
    void keyboardOpensTheAlarmItIsOn()
    {
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        const qint64 older = rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
        rig.clock.advanceSecs(60);
        const qint64 newer = rig.storeReport(QStringLiteral("1002"), QStringLiteral("11"));
        rig.window->showNewActueel();
        clickRow(rig, 0);
        QCOMPARE(rig.window->detail().meldingId(), newer);

        auto* list = rig.find<QTableView>(QStringLiteral("actueelList"));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(rig.window->detail().meldingId(), newer); // moving alone opens nothing
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("AlarmDetail1"));
        QCOMPARE(rig.window->detail().meldingId(), older);
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Enter);
        QCOMPARE(rig.window->detail().meldingId(), newer);
    }

    void lampLightsOnMannedAlarmAndGoesOutOnAcknowledgement()
    {
        Rig rig;
        LampOnPty pty(rig);
        QVERIFY(pty.ok);
        const QString& slave = pty.slave;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        QVERIFY(rig.lamp.active());
        QVERIFY(!isOpenByUs(slave));

        const qint64 first = rig.storeReport(QStringLiteral("1001"), QStringLiteral("02"));
        rig.clock.advanceSecs(30);
        const qint64 second = rig.storeReport(QStringLiteral("1002"), QStringLiteral("11"));
        rig.window->showNewActueel();
        QVERIFY(isOpenByUs(slave));

        // The operator opens the newest report and acknowledges it: the lamp
        // goes out and the next report opens by itself.
        clickRow(rig, 0);
        QCOMPARE(rig.window->detail().meldingId(), second);
        acknowledgeShown(rig);
        QVERIFY(!isOpenByUs(slave));
        QCOMPARE(rig.window->actueelModel().rowCount(), 1);
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("AlarmDetail1"));
        QCOMPARE(rig.window->detail().meldingId(), first);
        acknowledgeShown(rig);
        QCOMPARE(rig.window->actueelModel().rowCount(), 0);
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("actueel"));
    }

    // Re-initialising the ports prepares the lamp again; a manned room keeps
    // a lamp that lights on the next alarm.
    void lampStillLightsAfterThePortsAreReinitialised()
    {
        Rig rig;
        LampOnPty pty(rig);
        QVERIFY(pty.ok);
        const QString& slave = pty.slave;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        QVERIFY(rig.window->panels().showPanel(QStringLiteral("communicatie")));
        rig.prompt.script({PromptAnswer::Yes});
        QTest::mouseClick(rig.find<QPushButton>(QStringLiteral("reinitComButton")), Qt::LeftButton);
        QVERIFY(rig.console.lampActive());

        rig.storeReport(QStringLiteral("1001"), QStringLiteral("02"));
        rig.window->showNewActueel();
        QVERIFY(isOpenByUs(slave));
        rig.lamp.putOut();
    }

    // After a log-out the same dialog comes back: blank, and again only a
    // successful login lets it go, however the operator tries to close it.
    void loginAfterLogOutDemandsALoginAgain()
    {
        Rig rig;
        rig.open({});
        LoginDialog* dialog = rig.window->loginDialog();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("txtloginnaam"));
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("txtwachtwoord"));
        QTest::keyClicks(name, QStringLiteral("op1"));
        QTest::keyClicks(password, QStringLiteral("geheim"));
        QTest::keyClick(password, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());

        rig.window->logOut();
        QVERIFY(dialog->isVisible());
        QVERIFY(name->text().isEmpty());
        QVERIFY(password->text().isEmpty());
        dialog->close();
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(dialog->isVisible());
        QVERIFY(rig.window->loginOpen());
        QCOMPARE(rig.label(QStringLiteral("gebruikerLabel")), QString());

        QTest::keyClicks(name, QStringLiteral("op1"));
        QTest::keyClicks(password, QStringLiteral("geheim"));
        QTest::keyClick(password, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(rig.label(QStringLiteral("gebruikerLabel")), QStringLiteral("Gebruiker: Operator Een"));
    }

    void bottomTabClickShowsTheCurrentAlarmPanel_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("Actueel") << 0;
        QTest::newRow("Log") << 1;
        QTest::newRow("Overzicht") << 2;
    }
    void bottomTabClickShowsTheCurrentAlarmPanel()
    {
        QFETCH(int, tab);
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        QVERIFY(rig.window->panels().showPanel(QStringLiteral("settings")));
        auto* tabs = rig.find<QTabWidget>(QStringLiteral("bottomTabs"));
        QTabBar* bar = tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
        QCOMPARE(tabs->currentIndex(), tab);
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("actueel"));
    }

    void versionText_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("full") << QStringLiteral("6.1.23") << QStringLiteral("6.1 Build: 23");
        QTest::newRow("no revision") << QStringLiteral("2.0") << QStringLiteral("2.0 Build: 0");
    }
    void versionText()
    {
        QFETCH(QString, version);
        QFETCH(QString, text);
        QCOMPARE(taviro::versionText(version), text);
    }

    void infoOpensTheAboutWindow()
    {
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        auto* info = rig.window->findChild<QAction*>(QStringLiteral("infoMenuItem"));
        QVERIFY(info);
        info->trigger();
        auto* about = rig.find<QMessageBox>(QStringLiteral("frmAbout"));
        QVERIFY(about && about->isVisible());
        QVERIFY2(QRegularExpression(QStringLiteral("^Mereth Taviro \\d+\\.\\d+ Build: \\d+$")).match(about->text()).hasMatch(),
                 qPrintable(about->text()));
        about->close();
    }

    // At the default window size every panel shows all of itself, buttons
    // included, without scrolling. With TAVIRO_SCREENSHOT_DIR set the whole
    // window is kept as a picture of each panel (docs/screenshots).
    void panelsFitTheDefaultWindow_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("shot");
        QTest::newRow("actueel") << QStringLiteral("C1") << QStringLiteral("actueel") << QStringLiteral("mainwindow");
        QTest::newRow("melders") << QStringLiteral("C2CM1") << QStringLiteral("Melders1") << QStringLiteral("melders");
        QTest::newRow("ontvangers") << QStringLiteral("C3C1Co4") << QStringLiteral("Ontvanger1") << QStringLiteral("ontvangers");
        QTest::newRow("weekplanning") << QStringLiteral("C3C2Cw1") << QStringLiteral("WeekPlanner1") << QStringLiteral("weekplanning");
        QTest::newRow("jaarplanning") << QStringLiteral("C3C3Cj1") << QStringLiteral("JaarPlanner1") << QStringLiteral("jaarplanning");
        QTest::newRow("overzicht per melder") << QStringLiteral("C4C1") << QStringLiteral("Overzichten1") << QStringLiteral("overzicht-per-melder");
        QTest::newRow("overzicht alles") << QStringLiteral("C4C2") << QStringLiteral("Overzicht2") << QStringLiteral("overzicht-alles");
        QTest::newRow("gebruikers") << QStringLiteral("C5C1Cg1") << QStringLiteral("gebruikers") << QStringLiteral("gebruikers");
        QTest::newRow("comports") << QStringLiteral("C5C2") << QStringLiteral("communicatie") << QStringLiteral("comports");
        QTest::newRow("settings") << QStringLiteral("C5C5") << QStringLiteral("settings") << QStringLiteral("settings");
        QTest::newRow("alarmdetail") << QString() << QStringLiteral("AlarmDetail1") << QStringLiteral("alarmdetail");
    }
    void panelsFitTheDefaultWindow()
    {
        QFETCH(QString, node);
        QFETCH(QString, panel);
        QFETCH(QString, shot);
        Rig rig;
        for (auto [number, designation] : {std::pair{1, 1}, {2, 2}, {3, 5}}) {
            ComPort p;
            p.number = number;
            p.designation = designation;
            p.baudrate = designation == 5 ? 0 : 9600;
            p.string = QStringLiteral("AT&FE0");
            p.timeout = 15;
            p.is_gsm = designation == 2;
            QVERIFY(ComPortRepository(*rig.conn).insert(p).ok());
        }
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        rig.window->showNormal();
        rig.window->resize(1280, 800);
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
        rig.clock.advanceSecs(40);
        rig.storeReport(QStringLiteral("1002"), QStringLiteral("11"));
        rig.window->showNewActueel();
        if (node.isEmpty()) {
            clickRow(rig, 0);
        } else {
            QTreeWidgetItem* item = rig.window->tree().node(node);
            QVERIFY(item);
            rig.window->tree().setCurrentItem(item);
            rig.window->tree().scrollToItem(item);
            QTest::mouseClick(rig.window->tree().viewport(), Qt::LeftButton, {},
                              rig.window->tree().visualItemRect(item).center());
        }
        if (panel == QLatin1String("communicatie")) {
            auto* ports = rig.window->panels().panel(panel)->findChild<QTreeWidget*>(QStringLiteral("ListView1"));
            ports->setCurrentItem(ports->topLevelItem(1));
        }
        QCoreApplication::processEvents();
        QCOMPARE(rig.window->panels().currentKey(), panel);
        QCOMPARE(rig.window->size(), QSize(1280, 800));

        const QString dir = qEnvironmentVariable("TAVIRO_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            QVERIFY(rig.window->grab().save(dir + QLatin1Char('/') + shot + QStringLiteral(".png")));
        }

        auto* frame = qobject_cast<QScrollArea*>(rig.window->panels().currentWidget());
        QVERIFY(frame);
        const QRect visible = frame->viewport()->rect();
        QString outside;
        for (QAbstractButton* b : rig.window->panels().panel(panel)->findChildren<QAbstractButton*>()) {
            if (!b->isVisibleTo(rig.window.get()))
                continue;
            const QRect at(b->mapTo(frame->viewport(), QPoint(0, 0)), b->size());
            if (!visible.contains(at) && outside.isEmpty())
                outside = QStringLiteral("%1 \"%2\" at %3,%4 %5x%6 outside %7x%8")
                              .arg(b->objectName(), b->text())
                              .arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())
                              .arg(visible.width()).arg(visible.height());
        }
        QVERIFY2(outside.isEmpty(), qPrintable(outside));
        QCOMPARE(frame->verticalScrollBar()->maximum(), 0);
        QCOMPARE(frame->horizontalScrollBar()->maximum(), 0);
        // A panel in pages fits on every page, not just the first.
        if (auto* pages = rig.window->panels().panel(panel)->findChild<QTabWidget*>()) {
            for (int i = 1; i < pages->count(); ++i) {
                pages->setCurrentIndex(i);
                QCoreApplication::processEvents();
                if (!dir.isEmpty())
                    rig.window->grab().save(dir + QLatin1Char('/') + shot + QString::number(i + 1) +
                                            QStringLiteral(".png"));
                QCOMPARE(frame->verticalScrollBar()->maximum(), 0);
                QCOMPARE(frame->horizontalScrollBar()->maximum(), 0);
            }
        }
    }

    // The whole road from a receiver process: it stores a report and raises
    // MeldingReady; the window takes the report in and lists it on top.
    void reportFromAReceiverProcessIsListed()
    {
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("onbemand")});
        QTemporaryDir bin;
        QVERIFY(QFile::copy(QStringLiteral(FAKE_RECEIVER), bin.filePath(QStringLiteral("TaviroAlarmEmailOntvangst"))));
        ServiceHub hub(*rig.conn, rig.log, rig.lamp, bin.path(), rig.db.settings());
        connect(&hub, &ServiceHub::meldingReady, rig.window.get(), &MainWindow::showNewActueel);
        hub.startAlarmEmailReceiver();
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->actueelModel().rowCount(), 1, 10000);
        QCOMPARE(rig.window->actueelModel().index(0, 1).data().toString(), QStringLiteral("Zorgcentrum 't Lindehof"));
        hub.stopAll();
    }

    // A lamp port that is not there is said once; alarms are still listed.
    void missingLampPortIsLoggedOnce()
    {
        qputenv("TAVIRO_COM9", QByteArrayLiteral("/dev/taviro-no-such-lamp"));
        Rig rig;
        ComPort lampPort;
        lampPort.number = 9;
        lampPort.designation = 5;
        QVERIFY(ComPortRepository(*rig.conn).insert(lampPort).ok());
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
        rig.window->showNewActueel();
        rig.clock.advanceSecs(10);
        rig.storeReport(QStringLiteral("1002"), QStringLiteral("11"));
        rig.window->showNewActueel();
        QCOMPARE(rig.window->actueelModel().rowCount(), 2);
        QFile log(rig.log.fileFor(rig.clock.now()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString lines = QString::fromUtf8(log.readAll());
        QCOMPARE(lines.count(QStringLiteral("/dev/taviro-no-such-lamp kan niet worden aangezet")), 1);
        QVERIFY(lines.contains(QStringLiteral("LAMP Gestart op COM 9")));
        qunsetenv("TAVIRO_COM9");
    }

    // Acknowledging at the console records the operator on every dispatch of
    // the report, so repetition stops for everyone it went to.
    void acknowledgementRecordsTheOperator()
    {
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("onbemand")});
        const qint64 id = rig.storeReport(QStringLiteral("1001"), QStringLiteral("01"));
        rig.window->showNewActueel();
        auto open = rig.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 0 AND ontvanger_id <> 0"));
        QVERIFY(open.ok() && open->toInt() > 0);
        clickRow(rig, 0);
        QCOMPARE(rig.window->detail().meldingId(), id);
        acknowledgeShown(rig);
        const qint64 op1 = (*GebruikerRepository(*rig.conn).checkLogin(QStringLiteral("op1"), QStringLiteral("geheim")))->id;
        auto left = rig.conn->scalar(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id <> 0 AND "
                                                    "(bevestigtype <> 1 OR bevestiger <> ?)"),
                                     {op1});
        QCOMPARE(left->toInt(), 0);
    }

    void treeNodesLeadToTheirPanels()
    {
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        NavigationTree& tree = rig.window->tree();
        const Melder office = **MelderRepository(*rig.conn).findByAlias(QStringLiteral("1001"));
        QTreeWidgetItem* node = tree.node(QStringLiteral("C2CM%1").arg(office.id));
        QVERIFY(node);
        QCOMPARE(node->text(0), QStringLiteral("Kantoor Centrum (Stationsplein 12)"));
        QVERIFY(tree.node(QStringLiteral("C3C1Co0")));
        QVERIFY(tree.node(QStringLiteral("C3C2Cw0")));
        QVERIFY(!tree.node(QStringLiteral("C3C3Cj0"))); // no "Nieuw..." for year schedules
        QCOMPARE(tree.node(QStringLiteral("C5C1Cg0"))->text(0), QStringLiteral("Nieuw..."));

        struct Click { const char* node; const char* panel; };
        const Click clicks[] = {{"C5C1", "actueel"}, {"C5C1Cg0", "gebruikers"}, {"C3", "gebruikers"},
                                {"C4C2", "Overzicht2"}, {"C5C2", "communicatie"}, {"C5C5", "settings"},
                                {"C1", "actueel"}, {"C4C1", "Overzichten1"}};
        for (const Click& c : clicks) {
            QTreeWidgetItem* item = tree.node(QLatin1String(c.node));
            QVERIFY2(item, c.node);
            tree.scrollToItem(item);
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.visualItemRect(item).center());
            QCOMPARE(rig.window->panels().currentKey(), QLatin1String(c.panel));
        }

        // A soft-deleted recipient leaves the tree at the next rebuild.
        OntvangerRepository recipients(*rig.conn);
        const Ontvanger first = recipients.listActive()->first();
        QVERIFY(recipients.softDelete(first.id).ok());
        tree.reloadOntvangersTree();
        QVERIFY(!tree.node(QStringLiteral("C3C1Co%1").arg(first.id)));
    }

    // Enter or Space on the node under the cursor does what a click does.
    void enterAndSpaceOpenTheNode_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<qint64>("id");
        QTest::newRow("recipient, Enter") << QStringLiteral("C3C1Co3") << int(Qt::Key_Return) << QStringLiteral("Ontvanger1") << qint64(3);
        QTest::newRow("new recipient, Space") << QStringLiteral("C3C1Co0") << int(Qt::Key_Space) << QStringLiteral("Ontvanger1") << qint64(0);
        QTest::newRow("week, keypad Enter") << QStringLiteral("C3C2Cw2") << int(Qt::Key_Enter) << QStringLiteral("WeekPlanner1") << qint64(2);
        QTest::newRow("year") << QStringLiteral("C3C3Cj1") << int(Qt::Key_Return) << QStringLiteral("JaarPlanner1") << qint64(1);
        QTest::newRow("ports") << QStringLiteral("C5C2") << int(Qt::Key_Return) << QStringLiteral("communicatie") << qint64(-1);
        QTest::newRow("options") << QStringLiteral("C5C5") << int(Qt::Key_Space) << QStringLiteral("settings") << qint64(-1);
        QTest::newRow("day overview") << QStringLiteral("C4C2") << int(Qt::Key_Return) << QStringLiteral("Overzicht2") << qint64(-1);
    }
    void enterAndSpaceOpenTheNode()
    {
        QFETCH(QString, node);
        QFETCH(int, key);
        QFETCH(QString, panel);
        QFETCH(qint64, id);
        Rig rig;
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        NavigationTree& tree = rig.window->tree();
        tree.highlight(node); // the cursor put there without opening anything
        QCOMPARE(rig.window->panels().currentKey(), QStringLiteral("actueel"));
        tree.setFocus();
        QTest::keyClick(&tree, Qt::Key(key));
        QCOMPARE(rig.window->panels().currentKey(), panel);
        if (id >= 0) // -1: a panel without records
            QCOMPARE(rig.window->panels().currentId(), id);
        QCOMPARE(highlighted(rig), node);
    }

    // The tree highlights the record the form shows: after a switch the
    // operator cancels, after a save, and after a delete.
    void highlightIsTheShownRecord_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("saveButton");
        QTest::newRow("recipients") << QStringLiteral("C3C1Co3") << QStringLiteral("C3C1Co2") << QStringLiteral("cmdOpslaan");
        QTest::newRow("week schedules") << QStringLiteral("C3C2Cw1") << QStringLiteral("C3C2Cw2") << QStringLiteral("cmdOpslaan");
        QTest::newRow("transmitters") << QStringLiteral("C2CM%1") << QStringLiteral("C2CM%2") << QStringLiteral("cmdMelderOpslaan");
        QTest::newRow("year schedule to the day overview") << QStringLiteral("C3C3Cj1") << QStringLiteral("C4C2") << QStringLiteral("cmdOpslaan");
    }
    void highlightIsTheShownRecord()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, saveButton);
        Rig rig;
        if (first.contains(QLatin1String("%1"))) {
            MelderRepository melders(*rig.conn);
            first = first.arg((*melders.findByAlias(QStringLiteral("1001")))->id);
            second = second.arg((*melders.findByAlias(QStringLiteral("1002")))->id);
        }
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        rig.window->tree().expandAll();
        clickNode(rig, first);
        const qint64 shown = rig.window->panels().currentId();
        QTest::keyClicks(rig.shown<QLineEdit>(QStringLiteral("txtnaam")), QStringLiteral(" gewijzigd"));

        rig.prompt.script({PromptAnswer::Cancel});
        clickNode(rig, second);
        QCOMPARE(rig.window->panels().currentId(), shown);
        QCOMPARE(highlighted(rig), first);

        QWidget* panel = rig.window->panels().panel(rig.window->panels().currentKey());
        auto* save = panel->findChild<QPushButton*>(saveButton);
        QVERIFY(save);
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(highlighted(rig), first);
        QVERIFY(rig.window->tree().currentItem()->text(0).contains(QStringLiteral(" gewijzigd")));
    }

    // Without any port chosen for SMS the status bar says so at once: no
    // modem will ever report a state there.
    void statusBarSaysWhenNoSmsPortIsSet_data()
    {
        QTest::addColumn<bool>("smsPort");
        QTest::newRow("no SMS port") << false;
        QTest::newRow("an SMS port") << true;
    }
    void statusBarSaysWhenNoSmsPortIsSet()
    {
        QFETCH(bool, smsPort);
        Rig rig;
        QVERIFY(rig.conn->exec(QStringLiteral("DELETE FROM comports")).ok());
        if (smsPort) {
            ComPort p;
            p.number = 4;
            p.designation = 2;
            p.is_gsm = true;
            QVERIFY(ComPortRepository(*rig.conn).insert(p).ok());
        }
        rig.open({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        QCOMPARE(rig.label(QStringLiteral("gsmModemState")) == QStringLiteral("Geen SMS-poort ingesteld"), !smsPort);
    }

    void panelRoutes_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<qint64>("id");
        QTest::newRow("transmitter") << QStringLiteral("C2CM12") << QStringLiteral("Melders1") << qint64(12);
        QTest::newRow("new recipient") << QStringLiteral("C3C1Co0") << QStringLiteral("Ontvanger1") << qint64(0);
        QTest::newRow("week") << QStringLiteral("C3C2Cw7") << QStringLiteral("WeekPlanner1") << qint64(7);
        QTest::newRow("year") << QStringLiteral("C3C3Cj3") << QStringLiteral("JaarPlanner1") << qint64(3);
        QTest::newRow("account") << QStringLiteral("C5C1Cg4") << QStringLiteral("gebruikers") << qint64(4);
        QTest::newRow("root") << QStringLiteral("R") << QString() << qint64(0);
        QTest::newRow("accounts group") << QStringLiteral("C5C1") << QString() << qint64(0);
    }
    void panelRoutes()
    {
        QFETCH(QString, key);
        QFETCH(QString, panel);
        QFETCH(qint64, id);
        const PanelRoute r = routeForNode(key);
        QCOMPARE(r.panel, panel);
        QCOMPARE(r.id, id);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
