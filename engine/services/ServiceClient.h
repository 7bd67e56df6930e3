#pragma once

#include "DatabaseSettings.h"

#include <QEventLoop>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <optional>

namespace taviro {

// The answer to one call: a result, or an error from the service or from the
// way to it (not running, no answer within the time-out).
struct CallResult
{
    enum : int
    {
        NotRunning = -1,
        TimedOut = -2
    };
    QJsonValue result;
    int errorCode = 0; // 0: success; JSON-RPC codes from the service; the two above for transport
    QString error;

    bool ok() const { return errorCode == 0; }
    bool transportFailed() const { return errorCode == NotRunning || errorCode == TimedOut; }
};

// One service executable as a child process of the console, spoken to in
// JSON-RPC 2.0, one JSON object per line over its stdin and stdout. Its
// MeldingReady / MeldingMessage notifications become signals. A child that
// dies is logged and started again after a back-off that grows while it keeps
// dying; the call that set it up (a receiver's start) is then repeated, so the
// console does not notice beyond the log line.
class ServiceClient : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString program; // full path of the executable
        DatabaseSettings database;
        int callTimeoutMs = 60000; // the console's outside-call time-out
        int firstRestartDelayMs = 1000;
        int longestRestartDelayMs = 60000;
        // A line from the service longer than this is garbage: it is
        // dropped and the service started afresh, so a service that writes
        // without line ends cannot grow the console's memory.
        qsizetype maxLineBytes = 4 * 1024 * 1024;
        QStringList extraEnvironment; // "NAME=value", for tests

        // The executable `name` in `binDir` (the console's own folder in production).
        static Options forService(const QString& name, const QString& binDir,
                                  const DatabaseSettings& database);
    };

    explicit ServiceClient(Options options, QObject* parent = nullptr);
    ~ServiceClient() override;

    const QString& name() const { return m_name; }
    bool isRunning() const;
    qint64 processId() const;

    // Starts the child unless it runs; false when it cannot be started.
    bool start();
    // Ends the child (stdin closed, then SIGTERM, then SIGKILL) and its supervision.
    void stop();
    // The same, after asking the service to finish its work with `method`.
    // Its end is expected from the start: dying meanwhile (of the signal
    // that ends the whole program, say) schedules no restart.
    void stopWith(const QString& method);
    // The child is about to end with the whole program (a termination
    // signal reaches every process of the session): its end from now on is
    // no failure and schedules no restart. stop() follows later.
    void expectEnd();
    // Ends the child and starts it again at once, with its start call.
    void restart();

    // A request, answered within the call time-out. The wait runs the event
    // loop, so the window, the heartbeat and the watchdog go on meanwhile.
    // Notifications that arrive meanwhile are delivered after the call
    // returns, never inside it. The client may be destroyed during the wait:
    // the call then returns NotRunning.
    CallResult call(const QString& method, const QJsonObject& params = {});

    // The call that puts a freshly started child into service; repeated after every restart.
    void setStartCall(const QString& method, const QJsonObject& params);
    void clearStartCall();

    // What one line of a service's stderr becomes in the event log: the text
    // with the service's name, and its level; nothing for a line the log has
    // already had another way.
    static std::optional<std::pair<QString, int>> logEntryFor(const QString& service, QString line);

Q_SIGNALS:
    void meldingReady();
    // A line for the event log: what the service tells the console, and its
    // own log lines, each with the service's name in front.
    void meldingMessage(const QString& text, int level);
    // Only what the service tells the console, as it said it.
    void told(const QString& text, int level);
    // The child was started again after it died.
    void restarted();
    // Any other notification, for the proxy of the service that sends it.
    void notified(const QString& method, const QJsonObject& params);

private:
    // One call waiting for its answer, on the waiting call's stack.
    struct PendingCall
    {
        std::optional<QJsonObject> response;
        bool abandoned = false; // the client went away during the wait
        bool childEnded = false;
        QEventLoop* loop = nullptr;
    };

    bool launch();
    // Waits, running the event loop, until the child ended or `msecs` passed.
    bool waitForExit(int msecs);
    void onReadyRead();
    void takeLogLines();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void scheduleRestart(const QString& why);
    void restartNow();
    // Splits complete lines off the buffer; responses go to their waiting
    // calls, notifications out (or into the queue while a call waits).
    void takeLines();
    void deliver(const QJsonObject& notification);
    void deliverQueued();

    Options m_options;
    QString m_name;
    QProcess m_process;
    QByteArray m_buffer;
    QByteArray m_logBuffer;
    qint64 m_nextId = 0;
    QHash<qint64, PendingCall*> m_pending;
    QList<QJsonObject> m_queuedNotifications;
    std::optional<std::pair<QString, QJsonObject>> m_startCall;
    QTimer m_restartTimer;
    int m_restartDelayMs = 0;
    qint64 m_startedAtMs = 0;
    bool m_stopping = false;
    bool m_destroying = false;
    int m_callDepth = 0;
    bool m_stderrIsJournal = false;
};

} // namespace taviro
