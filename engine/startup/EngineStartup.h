#pragma once

#include "DatabaseSettings.h"
#include "FolderPaths.h"
#include "ProgramLayout.h"

#include <QString>

#include <memory>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;
class MailSenderProxy;
class OperatorPrompt;
class ServiceKiller;
class SingleInstance;
class SmsServiceProxy;

// The start-up every program of the alarm road goes through before its event
// loop runs, whether it has a window (the console) or not (the station): its
// lock, the folders and event log, a database it can use at the current schema
// version with our own tables, dispatch links repaired, leftover services
// ended, and the connection and sending services the engine works with.
// Each step tells the operator (through the prompt) and the log why it
// failed and returns the program's exit code; 0 means go on.
class EngineStartup
{
public:
    enum ExitCode {
        kOk = 0,
        kAlreadyRunning = 1,
        kDatabaseUnusable = 3,
        kUpgradeFailed = 4,
        kNoLock = 5,
    };

    EngineStartup(const Clock& clock, OperatorPrompt& prompt, QString title, const QString& programFolder);
    ~EngineStartup();
    EngineStartup(const EngineStartup&) = delete;
    EngineStartup& operator=(const EngineStartup&) = delete;

    const ProgramLayout& layout() const { return m_layout; }
    const FolderPaths& folders() const { return m_folders; }
    const DatabaseSettings& database() const { return m_database; }

    // Takes `lock`; `alreadyRunning` is what the operator reads when another
    // program holds it.
    int takeLock(SingleInstance& lock, const QString& alreadyRunning);
    // Folders, the event log and the overview stylesheets. Always succeeds:
    // a log that cannot be written says so itself.
    void openLog();
    // Probe, schema upgrade, our own tables and the dispatch links. Needs openLog.
    int prepareDatabase();
    // Ends this installation's service processes left from an earlier run,
    // unless `endLeftovers` is false (another program of this installation
    // owns them). The killer stays available either way.
    void endLeftoverServices(bool endLeftovers);
    // The engine's own connection and its mail and SMS services.
    int openEngine();

    // At the end: the mail and SMS services are stopped on purpose (no
    // restart is scheduled when they die of the same signal as this program)
    // and every service process of the installation is ended.
    void stopServices();
    // First thing on a termination signal, before anything lets the event
    // loop run: the mail and SMS services may already be dying of the same
    // signal, and that is no reason to start them again.
    void expectServicesToEnd();

    // Whether the last refusal came from a PostgreSQL server that could not
    // be reached or turned the connection down (worth trying again later),
    // rather than from a file or setting only a person can put right.
    bool databaseServerRefused() const { return m_serverRefused; }

    EventLog& eventLog() { return *m_eventLog; }
    ServiceKiller& killer() { return *m_killer; }
    const DatabaseConnector& conn() const { return *m_conn; }
    MailSenderProxy& mail() { return *m_mail; }
    SmsServiceProxy& sms() { return *m_sms; }

private:
    int refuse(const QString& text, int exitCode);
    // A refusal for a password in database.conf, which every member of the group can read.
    QString passwordInSettingsFile() const;

    const Clock& m_clock;
    OperatorPrompt& m_prompt;
    QString m_title;
    ProgramLayout m_layout;
    FolderPaths m_folders;
    DatabaseSettings m_database;
    std::unique_ptr<EventLog> m_eventLog;
    std::unique_ptr<ServiceKiller> m_killer;
    std::unique_ptr<DatabaseConnector> m_conn;
    std::unique_ptr<MailSenderProxy> m_mail;
    std::unique_ptr<SmsServiceProxy> m_sms;
    bool m_serverRefused = false;
};

} // namespace taviro
