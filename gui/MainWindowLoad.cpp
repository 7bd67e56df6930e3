// The window's life: load, login and log-out, manned state, the current-alarm
// list, panel switching and closing.
#include "MainWindow.h"

#include "ActueelModel.h"
#include "ActueelQuery.h"
#include "AlarmLamp.h"
#include "Clock.h"
#include "Console.h"
#include "EventLog.h"
#include "LoginDialog.h"
#include "NavigationTree.h"
#include "OperatorPrompt.h"
#include "PanelHost.h"
#include "Repositories.h"
#include "ServiceKiller.h"

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>

namespace taviro {

void MainWindow::load(const QStringList& arguments)
{
    if (m_shuttingDown || m_loaded)
        return;
    m_loaded = true;
    const CommandLineLogin cmd = parseCommandLine(arguments);
    if (cmd.syntaxError)
        m_deps.prompt.ask(commandLineSyntaxMessage(), QStringLiteral("Taviro"), PromptFlags::Plain);

    // A maximised window is the window manager's to size: resizing it here
    // would take it out of maximised, status bar and all off the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen();
        screen && !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        resize(size().boundedTo(screen->availableGeometry().size()));
    m_monthView->setSelectedDate(m_deps.clock.now().date());
    m_tree->build();
    m_panels->showPanel(QStringLiteral("actueel"));
    m_bottomTabs->setCurrentIndex(0);
    const int w = m_actueelList->viewport()->width() > 100 ? m_actueelList->viewport()->width() : 900;
    m_actueelList->setColumnWidth(0, w / 12);
    for (int c = 1; c < 4; ++c)
        m_actueelList->setColumnWidth(c, w / 4);

    if (Status s = m_deps.console.loadPlanningCache(); !s)
        writeLog(QStringLiteral("Roosters kunnen niet worden geladen: %1").arg(s.error()), 0);
    SetBemand(false);
    SetGebruikersNaam(QString());
    m_deps.console.getSmsSettings();
    if (m_deps.startServices)
        m_deps.startServices();
    m_deps.console.setLampActive(m_deps.lamp.active());
    setAttention(false);
    showActueel();

    if (!cmd.loginnaam.isEmpty() && !cmd.wachtwoord.isEmpty() && CheckLogin(cmd.loginnaam, cmd.wachtwoord))
        SetBemand(cmd.bemand);
    else
        showLogin();
    // Reports stored while no console ran are taken in now, with the manned
    // state just set, instead of waiting for the next receiver event.
    showNewActueel();
    m_deps.console.startTimers();
    m_deps.console.keepListUpToDate();
}

bool MainWindow::bemand() const
{
    return m_deps.console.bemand();
}

void MainWindow::SetBemand(bool on)
{
    m_deps.console.setBemand(on);
    onBemandChanged(on);
}

void MainWindow::onBemandChanged(bool on)
{
    m_bemandLabel->setText(on ? QStringLiteral("BEMAND") : QStringLiteral("ONBEMAND"));
    m_bemandLabel->setProperty("bemand", on);
    m_bemandLabel->style()->unpolish(m_bemandLabel);
    m_bemandLabel->style()->polish(m_bemandLabel);
    m_toggleBemand->setText(on ? QStringLiteral("Zet onbemand") : QStringLiteral("Zet bemand"));
}

void MainWindow::SetGebruikersNaam(const QString& naam)
{
    m_gebruikersnaam = naam;
    m_deps.console.setGebruikerNaam(naam);
    m_gebruikerLabel->setText(naam.isEmpty() ? QString() : QStringLiteral("Gebruiker: ") + naam);
}

bool MainWindow::CheckLogin(const QString& loginnaam, const QString& wachtwoord)
{
    auto found = GebruikerRepository(m_deps.conn).checkLogin(loginnaam, wachtwoord);
    if (!found) {
        writeLog(QStringLiteral("Inloggen mislukt: %1").arg(found.error()), 1);
        return false;
    }
    if (!found->has_value())
        return false;
    m_deps.console.setGebruikerId((*found)->id);
    SetGebruikersNaam((*found)->naam);
    return true;
}

bool MainWindow::settingsFlag(bool Settings::*member, bool fallback)
{
    auto s = SettingsRepository(m_deps.conn).load();
    if (!s || !s->has_value())
        return fallback;
    return (**s).*member;
}

bool MainWindow::loginOpen() const
{
    return m_login && m_login->isVisible();
}

void MainWindow::showLogin()
{
    if (!m_login) {
        m_login = new LoginDialog([this](const QString& l, const QString& w) { return CheckLogin(l, w); }, this);
        connect(m_login, &LoginDialog::loggedIn, this, [this] {
            if (settingsFlag(&Settings::AutoBemandNaInloggen, false))
                SetBemand(true);
        });
    }
    m_login->open();
}

void MainWindow::logOut()
{
    if (settingsFlag(&Settings::AutoOnbemandNaUitloggen, false))
        SetBemand(false);
    SetGebruikersNaam(QString());
    showLogin();
}

void MainWindow::showActueel()
{
    auto items = loadActueel(m_deps.conn);
    if (!items) {
        writeLog(QStringLiteral("Actuele meldingen kunnen niet worden gelezen: %1").arg(items.error()), 1);
        return;
    }
    m_actueelModel->addItems(*items);
    m_deps.console.noteListed(*items);
    // After a crash the log says what the operator found waiting.
    writeLog(QStringLiteral("%1 actuele meldingen in de lijst.").arg(items->size()), 1);
}

void MainWindow::showNewActueel()
{
    // The items arrive through Console::actueelAdded.
    (void)m_deps.console.showNewActueel();
}

bool MainWindow::actueelPressed(int tab)
{
    m_bottomTabs->setCurrentIndex(tab);
    return m_panels->showPanel(QStringLiteral("actueel"));
}

void MainWindow::openMelding(qint64 meldingId)
{
    if (meldingId > 0)
        m_panels->showPanel(QStringLiteral("AlarmDetail1"), meldingId);
}

void MainWindow::onAcknowledged(qint64 meldingId)
{
    m_actueelModel->removeMelding(meldingId);
    if (m_actueelModel->rowCount() == 0)
        showActueel(); // anything listed meanwhile by another station
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    const int answer = m_deps.prompt.ask(
        QStringLiteral("Weet u zeker dat u Mereth Taviro wilt afsluiten? Als u Mereth Taviro afsluit, worden geen "
                       "meldingen meer ontvangen."),
        QStringLiteral("Taviro"), PromptFlags::YesNo + PromptFlags::SecondButtonDefault);
    if (answer != PromptAnswer::Yes) {
        event->ignore();
        return;
    }
    unload();
    event->accept();
}

void MainWindow::unload()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    m_deps.console.setShuttingDown(true);
    m_deps.lamp.putOut();
    if (m_deps.stopServices)
        m_deps.stopServices();
    m_deps.killer.killServices();
    if (m_login)
        m_login->dismiss();
}

} // namespace taviro
