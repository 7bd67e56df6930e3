#pragma once

#include "CommandLine.h"
#include "DatabaseConnector.h"
#include "Rows.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QCalendarWidget;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableView;
class QTextBrowser;

namespace taviro {

class ActueelModel;
class AlarmDetail;
class OverzichtViewer;
class AlarmLamp;
class Beeper;
class Clock;
class Console;
class EventLog;
class ImageList;
class LoginDialog;
class NavigationTree;
class OperatorPrompt;
class PanelHost;
class TreeNavigation;
class ServiceKiller;
struct ActueelItem;
struct EditorContext;
class PrinterChoice;

// Form1: the console's one window. It shows the engine's state and hands the
// operator's actions on; alarm handling itself lives in Console.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    struct Deps
    {
        const DatabaseConnector& conn;
        DatabaseSettings database; // for the overview's worker, which opens its own connection
        const Clock& clock;
        OperatorPrompt& prompt;
        EventLog& eventLog;
        ServiceKiller& killer;
        Console& console;
        AlarmLamp& lamp;
        QString imagesPath;
        // Starts (again) the receivers and prepares the lamp; empty in tests without services.
        std::function<void()> startServices;
        // Ends the services this console started, before the leftovers are killed.
        std::function<void()> stopServices;
        // Starts the alarm e-mail receiver again after the mailbox settings changed.
        std::function<void()> restartMailReceiver;
    };
    explicit MainWindow(Deps deps, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The load sequence; arguments are those after the program name.
    void load(const QStringList& arguments);

    void SetBemand(bool bemand);
    void SetGebruikersNaam(const QString& naam);
    bool bemand() const;
    const QString& gebruikersnaam() const { return m_gebruikersnaam; }
    bool loginOpen() const;
    LoginDialog* loginDialog() const { return m_login; }

    // Accepts the login name and password; stores the operator on success.
    bool CheckLogin(const QString& loginnaam, const QString& wachtwoord);

    void showActueel();
    void showNewActueel();
    // False when the panel on view refused to be left.
    bool actueelPressed(int tab);
    void openMelding(qint64 meldingId);
    void logOut();

    NavigationTree& tree() const { return *m_tree; }
    PanelHost& panels() const { return *m_panels; }
    ActueelModel& actueelModel() const { return *m_actueelModel; }
    const ImageList& images() const { return *m_images; }
    AlarmDetail& detail() const { return *m_detail; }
    void writeLog(const QString& text, int level);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter on a row of the current-alarm list opens it, as a click does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    QWidget* buildHeader();
    QWidget* buildActueelSummary();
    void buildPanels();
    void buildEditors();
    void buildReports();
    void moveOnAfterAcknowledgement(qint64 meldingId);
    void openUitmeldManagement();
    void connectConsole();
    void showLogin();
    void onBemandChanged(bool bemand);
    void onAcknowledged(qint64 meldingId);
    void showSmsModemState(const QString& text, bool ready);
    void appendLogLine(const QString& line);
    void updateSummary();
    void setAttention(bool on);
    bool settingsFlag(bool Settings::*member, bool fallback);
    void unload();

    Deps m_deps;
    std::unique_ptr<ImageList> m_images;
    std::unique_ptr<EditorContext> m_editorContext;
    std::unique_ptr<PrinterChoice> m_printerChoice;
    QString m_gebruikersnaam;
    bool m_shuttingDown = false;
    bool m_loaded = false;
    LoginDialog* m_login = nullptr;
    Beeper* m_beeper = nullptr;

    QLabel* m_bemandLabel = nullptr;
    QPushButton* m_toggleBemand = nullptr;
    QLabel* m_gebruikerLabel = nullptr;
    QLabel* m_clockLabel = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusText = nullptr;
    QLabel* m_modemState = nullptr;
    QLabel* m_summaryCount = nullptr;
    QLabel* m_summaryLatest = nullptr;
    NavigationTree* m_tree = nullptr;
    QCalendarWidget* m_monthView = nullptr;
    PanelHost* m_panels = nullptr;
    TreeNavigation* m_navigation = nullptr;
    QTabWidget* m_bottomTabs = nullptr;
    QTableView* m_actueelList = nullptr;
    ActueelModel* m_actueelModel = nullptr;
    QListWidget* m_logList = nullptr;
    AlarmDetail* m_detail = nullptr;
    OverzichtViewer* m_viewer = nullptr;
};

} // namespace taviro
