#pragma once

#include "DatabaseSettings.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <map>

namespace taviro::service {

// JSON-RPC 2.0 error codes the services answer with.
namespace RpcCode {
constexpr int ParseError = -32700;
constexpr int InvalidRequest = -32600;
constexpr int MethodNotFound = -32601;
constexpr int InvalidParams = -32602;
constexpr int InternalError = -32603;
// The service understood the call but cannot carry it out now.
constexpr int ServiceFailure = -32000;
} // namespace RpcCode

struct RpcError
{
    int code = RpcCode::InternalError;
    QString message;
};

// What a method hands back: a result value, or an error for the caller.
class RpcReply
{
public:
    RpcReply(QJsonValue result = QJsonValue(true)) : m_result(std::move(result)) {}
    RpcReply(RpcError error) : m_error(std::move(error)), m_failed(true) {}
    static RpcReply invalidParams(const QString& message)
    {
        return RpcError{RpcCode::InvalidParams, message};
    }
    static RpcReply failure(const QString& message)
    {
        return RpcError{RpcCode::ServiceFailure, message};
    }

    bool failed() const { return m_failed; }
    const QJsonValue& result() const { return m_result; }
    const RpcError& error() const { return m_error; }

private:
    QJsonValue m_result;
    RpcError m_error;
    bool m_failed = false;
};

// The side every service process shares: it reads one JSON-RPC request per
// line from stdin, answers on stdout and raises the console's events as
// notifications. stdout carries protocol only; everything human goes to
// stderr. The console closing stdin, or SIGTERM, ends the service cleanly.
class ServiceHost : public QObject
{
    Q_OBJECT
public:
    using Method = std::function<RpcReply(const QJsonObject& params)>;

    explicit ServiceHost(QString serviceName, QObject* parent = nullptr);
    ~ServiceHost() override;

    void registerMethod(const QString& name, Method method);
    // Starts reading stdin and watching SIGTERM; call once the methods are registered.
    void start();

    void meldingReady();
    void meldingMessage(const QString& text, int level);
    // Any other notification a service's console understands.
    void notify(const QString& method, const QJsonObject& params);
    // A line on stderr for whoever supervises the service.
    void log(const QString& text) const;
    // Logs, then ends the process with exit code 1 so the console's supervisor
    // sees a failure and restarts the service.
    [[noreturn]] void fatal(const QString& text) const;

    // The database the console told us about (TAVIRO_DATABASE), or the default file.
    DatabaseSettings databaseSettings() const;
    const QString& serviceName() const { return m_name; }

    // Handles one request line and returns the response line (empty for a
    // notification). Public so the protocol can be exercised without pipes.
    QByteArray handleLine(const QByteArray& line);

Q_SIGNALS:
    // stdin closed or SIGTERM arrived: finish what is safe and quit.
    void shutdownRequested();

private:
    void readStdin();
    void readSignal();
    void writeLine(const QJsonObject& message);

    QString m_name;
    std::map<QString, Method> m_methods;
    QByteArray m_pending;
    QSocketNotifier* m_stdinNotifier = nullptr;
    QSocketNotifier* m_signalNotifier = nullptr;
    bool m_shuttingDown = false;
};

} // namespace taviro::service
