#include "MainWindow.h"

#include "AboutBox.h"
#include "ActueelModel.h"
#include "AlarmLamp.h"
#include "Beeper.h"
#include "Clock.h"
#include "Console.h"
#include "EditorFactory.h"
#include "EventLog.h"
#include "ImageList.h"
#include "NavigationTree.h"
#include "OverviewRoom.h"
#include "OverzichtViewer.h"
#include "PanelHost.h"
#include "PrinterChoice.h"
#include "TreeNavigation.h"
#include "WindowStyle.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

namespace taviro {

MainWindow::MainWindow(Deps deps, QWidget* parent)
    : QMainWindow(parent), m_deps(std::move(deps)), m_images(std::make_unique<ImageList>(m_deps.imagesPath)),
      m_printerChoice(std::make_unique<PrinterChoice>(PrinterChoice::defaultSettingsFile(), m_deps.eventLog))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Taviro"));
    setWindowIcon(m_images->icon(ImageList::Mereth));
    setStyleSheet(windowStyleSheet());
    m_beeper = new Beeper(this);
    buildWindow();
    connect(&m_deps.eventLog, &EventLog::screenLine, this, &MainWindow::appendLogLine);
    connectConsole();
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildHeader()
{
    auto* header = new QFrame(this);
    header->setObjectName(QStringLiteral("header"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 10, 16, 10);
    auto* title = new QLabel(QStringLiteral("Taviro"), header);
    title->setObjectName(QStringLiteral("appTitle"));
    m_bemandLabel = new QLabel(header);
    m_bemandLabel->setObjectName(QStringLiteral("bemandOnbemandLabel"));
    m_bemandLabel->setAlignment(Qt::AlignCenter);
    m_toggleBemand = new QPushButton(header);
    m_toggleBemand->setObjectName(QStringLiteral("toggleBemandButton"));
    m_clockLabel = new QLabel(header);
    m_clockLabel->setObjectName(QStringLiteral("clockLabel"));
    m_gebruikerLabel = new QLabel(header);
    m_gebruikerLabel->setObjectName(QStringLiteral("gebruikerLabel"));
    row->addWidget(title);
    row->addSpacing(24);
    row->addWidget(m_bemandLabel);
    row->addWidget(m_toggleBemand);
    row->addStretch();
    row->addWidget(m_gebruikerLabel);
    row->addSpacing(24);
    row->addWidget(m_clockLabel);
    connect(m_toggleBemand, &QPushButton::clicked, this, [this] { SetBemand(!bemand()); });
    auto* clockTimer = new QTimer(this);
    auto tick = [this] { m_clockLabel->setText(QLocale().toString(m_deps.clock.now(), QStringLiteral("dddd d MMMM yyyy  HH:mm"))); };
    connect(clockTimer, &QTimer::timeout, this, tick);
    clockTimer->start(1000);
    tick();
    return header;
}

QWidget* MainWindow::buildActueelSummary()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(24, 24, 24, 24);
    auto* caption = new QLabel(QStringLiteral("Actuele meldingen"), page);
    caption->setObjectName(QStringLiteral("panelTitle"));
    m_summaryCount = new QLabel(page);
    m_summaryCount->setObjectName(QStringLiteral("summaryCount"));
    m_summaryLatest = new QLabel(page);
    m_summaryLatest->setObjectName(QStringLiteral("summaryLatest"));
    m_summaryLatest->setWordWrap(true);
    auto* hint = new QLabel(QStringLiteral("Klik op een melding in de lijst hieronder om hem te bekijken en te bevestigen."), page);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setWordWrap(true);
    layout->addWidget(caption);
    layout->addWidget(m_summaryCount);
    layout->addWidget(m_summaryLatest);
    layout->addWidget(hint);
    layout->addStretch();
    return page;
}

void MainWindow::buildWindow()
{
    m_tree = new NavigationTree(m_deps.conn, *m_images, m_deps.eventLog, this);
    m_monthView = new QCalendarWidget(this);
    m_monthView->setObjectName(QStringLiteral("MonthView"));
    m_monthView->setGridVisible(false);
    m_monthView->setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    auto* left = new QWidget(this);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_tree, 1);
    leftLayout->addWidget(m_monthView);

    m_panels = new PanelHost(this);
    buildPanels();

    m_bottomTabs = new QTabWidget(this);
    m_bottomTabs->setObjectName(QStringLiteral("bottomTabs"));
    m_actueelModel = new ActueelModel(m_images->icon(ImageList::User16), m_images->icon(ImageList::Cal16), this);
    m_actueelList = new QTableView(this);
    m_actueelList->setObjectName(QStringLiteral("actueelList"));
    m_actueelList->setModel(m_actueelModel);
    m_actueelList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_actueelList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_actueelList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_actueelList->verticalHeader()->hide();
    m_actueelList->setShowGrid(false);
    m_actueelList->setAlternatingRowColors(true);
    m_actueelList->horizontalHeader()->setStretchLastSection(true);
    // Tab leaves the list for the report it opened, instead of walking its
    // cells: the acknowledge button must be reachable by keyboard.
    m_actueelList->setTabKeyNavigation(false);
    m_logList = new QListWidget(this);
    m_logList->setObjectName(QStringLiteral("logList"));
    m_bottomTabs->addTab(m_actueelList, QStringLiteral(" Actueel"));
    m_bottomTabs->addTab(m_logList, QStringLiteral("Log"));
    buildReports();
    // A tab the operator clicks brings the current-alarm panel back with it,
    // as the " Actueel" node does.
    connect(m_bottomTabs, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (index >= 0)
            actueelPressed(index);
    });
    connect(m_actueelList, &QTableView::clicked, this,
            [this](const QModelIndex& index) { openMelding(m_actueelModel->meldingIdAt(index.row())); });
    m_actueelList->installEventFilter(this);
    connect(m_actueelModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::updateSummary);
    connect(m_actueelModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateSummary);
    connect(m_actueelModel, &QAbstractItemModel::modelReset, this, &MainWindow::updateSummary);

    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(m_panels);
    right->addWidget(m_bottomTabs);
    // The panels get the room: an editor must show all of itself, while a
    // handful of list rows is enough below it to see what is waiting.
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 0);
    right->setSizes({640, 150});
    new OverviewRoom(*right, *m_bottomTabs, *m_viewer, *m_panels, this);
    auto* body = new QSplitter(Qt::Horizontal, this);
    body->addWidget(left);
    body->addWidget(right);
    body->setStretchFactor(1, 1);
    body->setSizes({250, 1030});
    left->setMinimumWidth(230);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());
    layout->addWidget(body, 1);
    setCentralWidget(central);

    m_statusIcon = new QLabel(this);
    m_statusIcon->setObjectName(QStringLiteral("statusIcon"));
    m_statusText = new QLabel(this);
    statusBar()->addWidget(m_statusIcon);
    statusBar()->addWidget(m_statusText, 1);
    m_modemState = new QLabel(this);
    m_modemState->setObjectName(QStringLiteral("gsmModemState"));
    statusBar()->addPermanentWidget(m_modemState);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&Bestand"));
    QAction* logout = file->addAction(QStringLiteral("&Uitloggen"));
    logout->setObjectName(QStringLiteral("uitloggenMenuItem"));
    QAction* management = file->addAction(QStringLiteral("&Openstaande uitmeldingen..."));
    management->setObjectName(QStringLiteral("alarmManagementMenuItem"));
    connect(management, &QAction::triggered, this, &MainWindow::openUitmeldManagement);
    QAction* test = file->addAction(QStringLiteral("&Testvenster"));
    test->setObjectName(QStringLiteral("testWindowMenuItem"));
    test->setVisible(false);
    test->setEnabled(false);
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("&Afsluiten"));
    quit->setObjectName(QStringLiteral("clsTaviro"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* info = help->addAction(QStringLiteral("&Info..."));
    info->setObjectName(QStringLiteral("infoMenuItem"));
    connect(logout, &QAction::triggered, this, &MainWindow::logOut);
    connect(quit, &QAction::triggered, this, &MainWindow::close);
    connect(info, &QAction::triggered, this, [this] { showAboutBox(this); });
    m_navigation = new TreeNavigation(*m_tree, *m_panels, [this] { return actueelPressed(0); }, this);
    resize(1280, 800);
}

void MainWindow::buildPanels()
{
    m_panels->addPanel(QStringLiteral("actueel"), {buildActueelSummary(), {}, {}, {}});
    auto placeholder = [this](const QString& key, const QString& what, std::function<void(qint64)> show = {}) {
        auto* label = new QLabel(what, this);
        label->setObjectName(key);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        label->setProperty("placeholder", true);
        m_panels->addPanel(key, {label, std::move(show), {}, {}});
        return label;
    };
    placeholder(QStringLiteral("Melders1"), QStringLiteral("Melders en alarmpunten"));
    placeholder(QStringLiteral("Ontvanger1"), QStringLiteral("Ontvangers"));
    placeholder(QStringLiteral("WeekPlanner1"), QStringLiteral("Weekplanning"));
    placeholder(QStringLiteral("JaarPlanner1"), QStringLiteral("Jaarplanning"));
    placeholder(QStringLiteral("gebruikers"), QStringLiteral("Gebruikers"));
    placeholder(QStringLiteral("communicatie"), QStringLiteral("COM-poorten"));
    placeholder(QStringLiteral("settings"), QStringLiteral("Opties"));
    buildEditors();
}

void MainWindow::connectConsole()
{
    Console& c = m_deps.console;
    connect(&c, &Console::actueelAdded, this, [this](const ActueelItem& item) { m_actueelModel->addItem(item); });
    connect(&c, &Console::beep, m_beeper, &Beeper::beep);
    connect(&c, &Console::lampRequested, this, [this](bool on) { on ? m_deps.lamp.light() : m_deps.lamp.putOut(); });
    connect(&c, &Console::melderTreeChanged, m_tree, &NavigationTree::reloadMelderTree);
    connect(&c, &Console::bemandChanged, this, &MainWindow::onBemandChanged);
    connect(&c, &Console::meldingAcknowledged, this, &MainWindow::onAcknowledged);
    connect(&c, &Console::smsModemStateChanged, this, &MainWindow::showSmsModemState);
    connect(&c, &Console::loginRequested, this, [this] {
        if (!loginOpen())
            showLogin();
    });
}

void MainWindow::showSmsModemState(const QString& text, bool ready)
{
    // A modem that cannot send stands out before an alarm needs it.
    m_modemState->setText(text);
    m_modemState->setStyleSheet(ready ? QString() : QStringLiteral("color: #b91c1c; font-weight: bold;"));
}

void MainWindow::writeLog(const QString& text, int level)
{
    m_deps.eventLog.writeLog(text, level);
}

void MainWindow::appendLogLine(const QString& line)
{
    m_logList->addItem(line);
    while (m_logList->count() > 50)
        delete m_logList->takeItem(0);
    m_logList->scrollToBottom();
}

void MainWindow::updateSummary()
{
    const int n = m_actueelModel->rowCount();
    m_summaryCount->setText(n == 0 ? QStringLiteral("Geen openstaande meldingen")
                                   : n == 1 ? QStringLiteral("1 openstaande melding")
                                            : QStringLiteral("%1 openstaande meldingen").arg(n));
    m_summaryCount->setProperty("alarm", n > 0);
    m_summaryCount->style()->unpolish(m_summaryCount);
    m_summaryCount->style()->polish(m_summaryCount);
    const QModelIndex top = m_actueelModel->index(0, 1);
    m_summaryLatest->setText(n == 0 ? QString()
                                    : QStringLiteral("Laatste: %1 (%2), %3")
                                          .arg(top.data().toString(), m_actueelModel->index(0, 2).data().toString(),
                                               m_actueelModel->index(0, 3).data().toString()));
    m_statusText->setText(QStringLiteral("Actuele meldingen: %1").arg(n));
    setAttention(n > 0); // the status icon asks for attention while alarms wait
}

void MainWindow::setAttention(bool on)
{
    m_statusIcon->setPixmap(m_images->icon(on ? ImageList::Attention : ImageList::About16).pixmap(16, 16));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // An operator at night goes through the waiting alarms with the arrow
    // keys; Enter opens the one he is on.
    if (watched == m_actueelList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = m_actueelList->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            openMelding(m_actueelModel->meldingIdAt(current.row()));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace taviro
