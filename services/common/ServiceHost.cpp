#include "ServiceHost.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <csignal>
#include <sys/stat.h>
#include <cstdio>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace taviro::service {

namespace {

// A request larger than this is not something the console sends; refusing it
// keeps a runaway writer from eating the service's memory.
constexpr qsizetype MaxLineBytes = 16 * 1024 * 1024;

int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[0], &byte, 1);
}

void writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return; // the console is gone; stdin's end will tell us to stop
        }
        p += n;
        left -= n;
    }
}

QJsonObject errorResponse(const QJsonValue& id, int code, const QString& message)
{
    return QJsonObject{
        {QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
        {QStringLiteral("id"), id},
        {QStringLiteral("error"),
         QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}}}};
}

} // namespace

ServiceHost::ServiceHost(QString serviceName, QObject* parent)
    : QObject(parent), m_name(std::move(serviceName))
{
    // A console that dies leaves a broken pipe; the write error is handled, the signal must not
    // kill us.
    std::signal(SIGPIPE, SIG_IGN);
    // The mail queue, the seen-mail list and the modem's stored replies hold
    // addresses and phone numbers: nothing a service writes is for others.
    ::umask(S_IRWXO);
}

ServiceHost::~ServiceHost() = default;

void ServiceHost::registerMethod(const QString& name, Method method)
{
    m_methods[name] = std::move(method);
}

void ServiceHost::start()
{
    registerMethod(QStringLiteral("ping"),
                   [](const QJsonObject&) { return RpcReply(QStringLiteral("pong")); });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        struct sigaction action = {};
        action.sa_handler = onTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
        m_signalNotifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
        connect(m_signalNotifier, &QSocketNotifier::activated, this, &ServiceHost::readSignal);
    } else {
        log(QStringLiteral("SIGTERM kan niet worden afgevangen; stoppen gaat via stdin"));
    }

    m_stdinNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_stdinNotifier, &QSocketNotifier::activated, this, &ServiceHost::readStdin);
    const DatabaseSettings db = databaseSettings();
    log(QStringLiteral("gestart (pid %1, database %2)")
            .arg(QCoreApplication::applicationPid())
            .arg(db.displayText()));
}

DatabaseSettings ServiceHost::databaseSettings() const
{
    return DatabaseSettings::fromEnvironment(QCoreApplication::applicationDirPath());
}

void ServiceHost::log(const QString& text) const
{
    const QString line =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) + m_name +
        QStringLiteral(": ") + text + QLatin1Char('\n');
    writeAll(STDERR_FILENO, line.toUtf8());
}

void ServiceHost::fatal(const QString& text) const
{
    log(QStringLiteral("fatale fout: ") + text);
    std::_Exit(1);
}

void ServiceHost::meldingReady()
{
    notify(QStringLiteral("MeldingReady"), {});
}

void ServiceHost::meldingMessage(const QString& text, int level)
{
    log(QStringLiteral("melding (niveau %1): %2").arg(level).arg(text));
    notify(QStringLiteral("MeldingMessage"),
           QJsonObject{{QStringLiteral("text"), text}, {QStringLiteral("level"), level}});
}

void ServiceHost::notify(const QString& method, const QJsonObject& params)
{
    QJsonObject message{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                        {QStringLiteral("method"), method}};
    if (!params.isEmpty())
        message.insert(QStringLiteral("params"), params);
    writeLine(message);
}

void ServiceHost::writeLine(const QJsonObject& message)
{
    writeAll(STDOUT_FILENO, QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}

void ServiceHost::readSignal()
{
    char buffer[16];
    [[maybe_unused]] const auto n = ::read(g_signalPipe[1], buffer, sizeof buffer);
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    log(QStringLiteral("SIGTERM ontvangen, stoppen"));
    Q_EMIT shutdownRequested();
}

void ServiceHost::readStdin()
{
    char buffer[65536];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        m_stdinNotifier->setEnabled(false);
        if (!m_shuttingDown) {
            m_shuttingDown = true;
            log(QStringLiteral("stdin gesloten, stoppen"));
            Q_EMIT shutdownRequested();
        }
        return;
    }
    m_pending.append(buffer, n);
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        const QByteArray response = handleLine(line);
        if (!response.isEmpty())
            writeAll(STDOUT_FILENO, response);
    }
    if (m_pending.size() > MaxLineBytes) {
        log(QStringLiteral("verzoek van meer dan %1 bytes verworpen").arg(MaxLineBytes));
        m_pending.clear();
        writeLine(errorResponse(QJsonValue::Null, RpcCode::InvalidRequest,
                                QStringLiteral("request too large")));
    }
}

QByteArray ServiceHost::handleLine(const QByteArray& rawLine)
{
    const QByteArray line = rawLine.trimmed();
    if (line.isEmpty())
        return {};
    auto encode = [](const QJsonObject& o) {
        return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    };

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        log(QStringLiteral("onleesbaar verzoek: ") + parseError.errorString());
        return encode(
            errorResponse(QJsonValue::Null, RpcCode::ParseError, parseError.errorString()));
    }
    const QJsonObject request = doc.object();
    const QJsonValue id = request.value(QStringLiteral("id"));
    const bool isNotification = !request.contains(QStringLiteral("id"));
    const QJsonValue methodValue = request.value(QStringLiteral("method"));
    if (!doc.isObject() ||
        request.value(QStringLiteral("jsonrpc")).toString() != QStringLiteral("2.0") ||
        !methodValue.isString() ||
        (!id.isString() && !id.isDouble() && !id.isNull() && !isNotification)) {
        return encode(errorResponse(isNotification ? QJsonValue::Null : id, RpcCode::InvalidRequest,
                                    QStringLiteral("not a JSON-RPC 2.0 request")));
    }
    const QJsonValue params = request.value(QStringLiteral("params"));
    if (!params.isUndefined() && !params.isObject()) {
        return isNotification ? QByteArray()
                              : encode(errorResponse(id, RpcCode::InvalidParams,
                                                     QStringLiteral("params must be an object")));
    }

    const auto found = m_methods.find(methodValue.toString());
    if (found == m_methods.end()) {
        log(QStringLiteral("onbekende methode ") + methodValue.toString());
        return isNotification ? QByteArray()
                              : encode(errorResponse(id, RpcCode::MethodNotFound,
                                                     QStringLiteral("unknown method ") +
                                                         methodValue.toString()));
    }
    const RpcReply reply = found->second(params.toObject());
    if (isNotification)
        return {};
    if (reply.failed())
        return encode(errorResponse(id, reply.error().code, reply.error().message));
    return encode(QJsonObject{{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
                              {QStringLiteral("id"), id},
                              {QStringLiteral("result"), reply.result()}});
}

} // namespace taviro::service
