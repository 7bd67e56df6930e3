#include "MainWindow.h"

#include "EventLog.h"
#include "LoginDialog.h"
#include "OperatorPrompt.h"
#include "Repositories.h"
#include "ServiceKiller.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace taviro {

namespace {
constexpr int kScreenLogLines = 50;
}

MainWindow::MainWindow(Deps deps, QWidget* parent) : QMainWindow(parent), m_deps(std::move(deps))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Taviro"));
    buildWindow();
    connect(&m_deps.eventLog, &EventLog::screenLine, this, &MainWindow::appendLogLine);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildWindow()
{
    auto* central = new QWidget(this);
    auto* top = new QHBoxLayout;
    m_bemandLabel = new QLabel(central);
    m_bemandLabel->setObjectName(QStringLiteral("bemandOnbemandLabel"));
    QFont big = m_bemandLabel->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    m_bemandLabel->setFont(big);
    m_toggleBemand = new QPushButton(central);
    m_toggleBemand->setObjectName(QStringLiteral("toggleBemandButton"));
    m_gebruikerLabel = new QLabel(central);
    m_gebruikerLabel->setObjectName(QStringLiteral("gebruikerLabel"));
    top->addWidget(m_bemandLabel);
    top->addWidget(m_toggleBemand);
    top->addStretch();
    top->addWidget(m_gebruikerLabel);

    m_bottomTabs = new QTabWidget(central);
    m_bottomTabs->setObjectName(QStringLiteral("bottomTabs"));
    m_actueelList = new QListWidget(m_bottomTabs);
    m_actueelList->setObjectName(QStringLiteral("actueelList"));
    m_logList = new QListWidget(m_bottomTabs);
    m_logList->setObjectName(QStringLiteral("logList"));
    auto* browser = new QTextBrowser(m_bottomTabs);
    browser->setObjectName(QStringLiteral("WebBrowser"));
    m_bottomTabs->addTab(m_actueelList, QStringLiteral(" Actueel"));
    m_bottomTabs->addTab(m_logList, QStringLiteral("Log"));
    m_bottomTabs->addTab(browser, QStringLiteral("Overzicht"));

    auto* layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(m_bottomTabs, 1);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Bestand"));
    QAction* logout = file->addAction(QStringLiteral("&Uitloggen"));
    logout->setObjectName(QStringLiteral("uitloggenMenuItem"));
    QAction* quit = file->addAction(QStringLiteral("&Afsluiten"));
    quit->setObjectName(QStringLiteral("clsTaviro"));
    connect(logout, &QAction::triggered, this, &MainWindow::logOut);
    connect(quit, &QAction::triggered, this, &MainWindow::close);
    connect(m_toggleBemand, &QPushButton::clicked, this, [this] { SetBemand(!m_bemand); });
    resize(1000, 700);
}

void MainWindow::load(const QStringList& arguments)
{
    if (m_shuttingDown)
        return;
    const CommandLineLogin cmd = parseCommandLine(arguments);
    if (cmd.syntaxError)
        m_deps.prompt.ask(commandLineSyntaxMessage(), QStringLiteral("Taviro"), PromptFlags::Plain);

    m_deps.killer.killServices();
    auto opened = DatabaseConnector::open(m_deps.database);
    if (opened)
        m_db = std::move(opened.value());
    else
        m_deps.eventLog.writeLog(opened.error(), 0);

    SetBemand(false);
    SetGebruikersNaam(QString());
    if (!cmd.loginnaam.isEmpty() && !cmd.wachtwoord.isEmpty() && CheckLogin(cmd.loginnaam, cmd.wachtwoord)) {
        SetBemand(cmd.bemand);
        return;
    }
    showLogin();
}

void MainWindow::SetBemand(bool bemand)
{
    m_bemand = bemand;
    m_bemandLabel->setText(bemand ? QStringLiteral("BEMAND") : QStringLiteral("ONBEMAND"));
    m_toggleBemand->setText(bemand ? QStringLiteral("Zet onbemand") : QStringLiteral("Zet bemand"));
}

void MainWindow::SetGebruikersNaam(const QString& naam)
{
    m_gebruikersnaam = naam;
    m_gebruikerLabel->setText(naam.isEmpty() ? QString() : QStringLiteral("Gebruiker: ") + naam);
}

bool MainWindow::CheckLogin(const QString& loginnaam, const QString& wachtwoord)
{
    if (!m_db)
        return false;
    auto found = GebruikerRepository(*m_db).checkLogin(loginnaam, wachtwoord);
    if (!found) {
        m_deps.eventLog.writeLog(QStringLiteral("Inloggen mislukt: %1").arg(found.error()), 1);
        return false;
    }
    if (!found->has_value())
        return false;
    m_gebruikerId = (*found)->id;
    SetGebruikersNaam((*found)->naam);
    return true;
}

bool MainWindow::settingsFlag(bool Settings::*member, bool fallback)
{
    if (!m_db)
        return fallback;
    auto s = SettingsRepository(*m_db).load();
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

void MainWindow::appendLogLine(const QString& line)
{
    m_logList->addItem(line);
    while (m_logList->count() > kScreenLogLines)
        delete m_logList->takeItem(0);
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
    m_shuttingDown = true;
    m_deps.killer.killServices();
}

} // namespace taviro
