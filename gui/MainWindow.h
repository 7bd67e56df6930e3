#pragma once

#include "CommandLine.h"
#include "DatabaseConnector.h"
#include "Rows.h"

#include <QMainWindow>

class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace taviro {

class Clock;
class EventLog;
class LoginDialog;
class OperatorPrompt;
class ServiceKiller;

// Form1: the console's one window. Holds the operator state (manned, logged-in
// operator) and hands operator actions on; alarm handling lives in the engine.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    struct Deps
    {
        DatabaseSettings database;
        const Clock& clock;
        OperatorPrompt& prompt;
        EventLog& eventLog;
        ServiceKiller& killer;
    };
    explicit MainWindow(Deps deps, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The load sequence; arguments are those after the program name.
    void load(const QStringList& arguments);

    void SetBemand(bool bemand);
    void SetGebruikersNaam(const QString& naam);
    bool bemand() const { return m_bemand; }
    qint64 gebruikerId() const { return m_gebruikerId; }
    bool loginOpen() const;

    // Accepts the login name and password; stores the operator on success.
    bool CheckLogin(const QString& loginnaam, const QString& wachtwoord);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void showLogin();
    void logOut();
    void appendLogLine(const QString& line);
    bool settingsFlag(bool Settings::*member, bool fallback);
    void unload();

    Deps m_deps;
    ConnectorPtr m_db;
    bool m_bemand = false;
    qint64 m_gebruikerId = 0;
    QString m_gebruikersnaam;
    bool m_shuttingDown = false;
    LoginDialog* m_login = nullptr;

    QLabel* m_bemandLabel = nullptr;
    QPushButton* m_toggleBemand = nullptr;
    QLabel* m_gebruikerLabel = nullptr;
    QTabWidget* m_bottomTabs = nullptr;
    QListWidget* m_actueelList = nullptr;
    QListWidget* m_logList = nullptr;
};

} // namespace taviro
