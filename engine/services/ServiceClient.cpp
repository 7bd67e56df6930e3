#include "ServiceClient.h"

#include "JournalOutput.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcessEnvironment>

#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace taviro {

ServiceClient::Options ServiceClient::Options::forService(const QString& name,
                                                          const QString& binDir,
                                                          const DatabaseSettings& database)
{
    Options o;
    o.program = binDir + QLatin1Char('/') + name;
    o.database = database;
    return o;
}

ServiceClient::ServiceClient(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_name(QFileInfo(m_options.program).fileName())
{
    m_restartDelayMs = m_options.firstRestartDelayMs;
    m_stderrIsJournal = journal::stderrIsJournal();
    m_restartTimer.setSingleShot(true);
    // The service's log lines go into the console's event log (and on to
    // the console's own stderr, for whoever started it from a terminal).
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &ServiceClient::onReadyRead);
    connect(&m_process, &QProcess::readyReadStandardError, this, &ServiceClient::takeLogLines);
    connect(&m_process, &QProcess::finished, this, &ServiceClient::onFinished);
    connect(&m_restartTimer, &QTimer::timeout, this, &ServiceClient::restartNow);
}

ServiceClient::~ServiceClient()
{
    // Calls still waiting further up the stack return without touching us.
    m_destroying = true;
    for (PendingCall* p : std::as_const(m_pending)) {
        p->abandoned = true;
        if (p->loop)
            p->loop->quit();
    }
    m_pending.clear();
    stop();
}

bool ServiceClient::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

qint64 ServiceClient::processId() const
{
    return m_process.processId();
}

bool ServiceClient::start()
{
    m_stopping = false;
    if (isRunning())
        return true;
    m_restartTimer.stop();
    return launch();
}

bool ServiceClient::launch()
{
    // The service inherits the console's environment, so every TAVIRO_COM<n>
    // device override reaches it; the database is always the console's own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVIRO_DATABASE"), m_options.database.text());
    // The service manager's socket and watchdog are the station's own: a
    // service that used them would speak for the station.
    for (const char* managerOnly : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
        env.remove(QString::fromLatin1(managerOnly));
    for (const QString& kv : m_options.extraEnvironment) {
        const qsizetype eq = kv.indexOf(QLatin1Char('='));
        if (eq > 0)
            env.insert(kv.left(eq), kv.mid(eq + 1));
    }
    m_process.setProcessEnvironment(env);
    m_buffer.clear();
    m_logBuffer.clear();
    m_process.start(m_options.program, {});
    if (!m_process.waitForStarted(10000)) {
        Q_EMIT meldingMessage(
            QStringLiteral("%1 kan niet worden gestart: %2").arg(m_name, m_process.errorString()),
            1);
        return false;
    }
    m_startedAtMs = QDateTime::currentMSecsSinceEpoch();
    return true;
}

void ServiceClient::stopWith(const QString& method)
{
    clearStartCall();
    m_stopping = true;
    m_restartTimer.stop();
    if (isRunning())
        call(method);
    stop();
}

void ServiceClient::expectEnd()
{
    m_stopping = true;
    m_restartTimer.stop();
}

void ServiceClient::stop()
{
    m_stopping = true;
    m_restartTimer.stop();
    if (m_process.state() == QProcess::NotRunning)
        return;
    // Closing stdin is the polite way: the service finishes what it holds and exits.
    m_process.closeWriteChannel();
    if (!waitForExit(5000)) {
        m_process.terminate();
        if (!waitForExit(3000)) {
            m_process.kill();
            waitForExit(3000);
        }
    }
}

bool ServiceClient::waitForExit(int msecs)
{
    if (m_process.state() == QProcess::NotRunning)
        return true;
    // Being destroyed: nothing may run on top of a half-gone object.
    if (m_destroying)
        return m_process.waitForFinished(msecs);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(msecs);
    loop.exec();
    return m_process.state() == QProcess::NotRunning;
}

void ServiceClient::restart()
{
    stop();
    m_stopping = false;
    restartNow();
}

void ServiceClient::setStartCall(const QString& method, const QJsonObject& params)
{
    m_startCall = std::make_pair(method, params);
}

void ServiceClient::clearStartCall()
{
    m_startCall.reset();
}

CallResult ServiceClient::call(const QString& method, const QJsonObject& params)
{
    if (!isRunning()) {
        // Not waiting for the back-off: the console needs the service now.
        m_restartTimer.stop();
        if (m_stopping || !launch())
            return {{}, CallResult::NotRunning, QStringLiteral("%1 draait niet").arg(m_name)};
        if (m_startCall && m_startCall->first != method) {
            const CallResult setUp = call(m_startCall->first, m_startCall->second);
            if (!setUp.ok())
                return setUp;
        }
    }

    const qint64 id = ++m_nextId;
    QJsonObject request{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                        {QStringLiteral("id"), id},
                        {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        request.insert(QStringLiteral("params"), params);

    QEventLoop loop;
    PendingCall pending;
    pending.loop = &loop;
    m_pending.insert(id, &pending);
    ++m_callDepth;
    m_process.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    if (!pending.response && !pending.childEnded) {
        QTimer limit;
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        limit.start(m_options.callTimeoutMs);
        loop.exec();
    }
    if (pending.abandoned)
        return {{}, CallResult::NotRunning, QStringLiteral("dienst beëindigd tijdens %1").arg(method)};
    m_pending.remove(id);
    if (--m_callDepth == 0 && !m_queuedNotifications.isEmpty())
        QTimer::singleShot(0, this, &ServiceClient::deliverQueued);
    if (pending.response) {
        const QJsonObject& response = *pending.response;
        if (response.contains(QStringLiteral("error"))) {
            const QJsonObject error = response.value(QStringLiteral("error")).toObject();
            return {{},
                    error.value(QStringLiteral("code")).toInt(-32603),
                    error.value(QStringLiteral("message")).toString()};
        }
        return {response.value(QStringLiteral("result")), 0, {}};
    }
    if (pending.childEnded || !isRunning())
        return {
            {}, CallResult::NotRunning, QStringLiteral("%1 stopte tijdens %2").arg(m_name, method)};
    return {{},
            CallResult::TimedOut,
            QStringLiteral("%1 gaf geen antwoord op %2 binnen %3 s")
                .arg(m_name, method)
                .arg(m_options.callTimeoutMs / 1000)};
}

void ServiceClient::onReadyRead()
{
    takeLines();
}

void ServiceClient::takeLines()
{
    m_buffer += m_process.readAllStandardOutput();
    qsizetype newline;
    while ((newline = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(newline).trimmed();
        m_buffer.remove(0, newline + 1);
        if (line.isEmpty())
            continue;
        const QJsonObject message = QJsonDocument::fromJson(line).object();
        if (message.contains(QStringLiteral("id"))) {
            // An answer nobody waits for any more (its call timed out) is dropped.
            PendingCall* waiting = m_pending.value(message.value(QStringLiteral("id")).toInteger(-1));
            if (waiting && !waiting->response) {
                waiting->response = message;
                waiting->loop->quit();
            }
        } else if (message.contains(QStringLiteral("method"))) {
            m_callDepth > 0 ? void(m_queuedNotifications << message) : deliver(message);
        }
    }
    if (m_buffer.size() > m_options.maxLineBytes) {
        // Not a protocol line: whatever the service says now cannot be trusted.
        m_buffer.clear();
        Q_EMIT meldingMessage(QStringLiteral("%1 schrijft een regel zonder einde van meer dan %2 KiB; "
                                             "de regel wordt weggegooid en de dienst opnieuw gestart")
                                  .arg(m_name)
                                  .arg(m_options.maxLineBytes / 1024),
                              0);
        m_process.kill();
    }
}

void ServiceClient::deliverQueued()
{
    const QList<QJsonObject> queued = std::exchange(m_queuedNotifications, {});
    for (const QJsonObject& n : queued)
        deliver(n);
}

void ServiceClient::deliver(const QJsonObject& notification)
{
    const QString method = notification.value(QStringLiteral("method")).toString();
    const QJsonObject params = notification.value(QStringLiteral("params")).toObject();
    if (method == QStringLiteral("MeldingReady")) {
        Q_EMIT meldingReady();
        // The SMS service's carries the outcome of one send.
        if (!params.isEmpty())
            Q_EMIT notified(method, params);
    } else if (method == QStringLiteral("MeldingMessage")) {
        const QString text = params.value(QStringLiteral("text")).toString();
        const int level = params.value(QStringLiteral("level")).toInt();
        Q_EMIT told(text, level);
        // Named like the service's other lines, so a reader of the log knows
        // which program said it.
        Q_EMIT meldingMessage(m_name + QStringLiteral(": ") + text, level);
    }
    else
        Q_EMIT notified(method, params);
}

void ServiceClient::takeLogLines()
{
    const QByteArray chunk = m_process.readAllStandardError();
    if (chunk.isEmpty())
        return;
    // Passed on for whoever watches this program's stderr, but never into the
    // system journal: its readers are not all in the control room, and the
    // lines reach it through the event log, which decides what may go there.
    if (!m_stderrIsJournal) {
        std::fwrite(chunk.constData(), 1, size_t(chunk.size()), stderr);
        std::fflush(stderr);
    }
    m_logBuffer += chunk;
    qsizetype newline;
    while ((newline = m_logBuffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_logBuffer.left(newline)).trimmed();
        m_logBuffer.remove(0, newline + 1);
        if (const auto entry = logEntryFor(m_name, line))
            Q_EMIT meldingMessage(entry->first, entry->second);
    }
    // A service that writes without line ends must not grow the buffer for ever.
    if (m_logBuffer.size() > 64 * 1024)
        m_logBuffer.clear();
}

std::optional<std::pair<QString, int>> ServiceClient::logEntryFor(const QString& service, QString line)
{
    // "yyyy-MM-dd hh:mm:ss.zzz Name: text": the event log puts its own time
    // stamp, so the service's is dropped.
    static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d(\\.\\d+)? "));
    line.remove(stamp);
    const QString prefix = service + QStringLiteral(": ");
    if (line.startsWith(prefix))
        line.remove(0, prefix.size());
    if (line.isEmpty())
        return std::nullopt;
    // Reached the log already through the MeldingMessage notification.
    if (line.startsWith(QLatin1String("melding (niveau ")))
        return std::nullopt;
    // Why a service died is for the operator to see.
    const int level = line.startsWith(QLatin1String("fatale fout: ")) ? 0 : 1;
    return std::make_pair(prefix + line, level);
}

void ServiceClient::onFinished(int exitCode, QProcess::ExitStatus status)
{
    takeLogLines();
    takeLines();
    // Calls still waiting get no answer from this child any more.
    for (PendingCall* p : std::as_const(m_pending)) {
        p->childEnded = true;
        p->loop->quit();
    }
    if (m_stopping)
        return;
    const QString how = status == QProcess::CrashExit
                            ? QStringLiteral("afgebroken")
                            : QStringLiteral("gestopt met code %1").arg(exitCode);
    scheduleRestart(how);
}

void ServiceClient::scheduleRestart(const QString& why)
{
    // A service that ran a good while before dying gets a quick restart; one
    // that dies at once is retried ever more slowly so it cannot flood the log.
    if (QDateTime::currentMSecsSinceEpoch() - m_startedAtMs > m_options.longestRestartDelayMs)
        m_restartDelayMs = m_options.firstRestartDelayMs;
    Q_EMIT meldingMessage(QStringLiteral("%1 is %2; opnieuw starten over %3 s")
                              .arg(m_name, why)
                              .arg(m_restartDelayMs / 1000.0),
                          0);
    m_restartTimer.start(m_restartDelayMs);
    m_restartDelayMs = std::min(m_restartDelayMs * 2, m_options.longestRestartDelayMs);
}

void ServiceClient::restartNow()
{
    if (m_stopping || isRunning())
        return;
    if (!launch()) {
        scheduleRestart(QStringLiteral("niet te starten"));
        return;
    }
    if (m_startCall) {
        const CallResult r = call(m_startCall->first, m_startCall->second);
        if (!r.ok())
            Q_EMIT meldingMessage(QStringLiteral("%1 opnieuw gestart, maar %2 mislukte: %3")
                                      .arg(m_name, m_startCall->first, r.error),
                                  0);
    }
    Q_EMIT restarted();
}

} // namespace taviro
