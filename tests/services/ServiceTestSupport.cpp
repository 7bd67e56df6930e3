#include "ServiceTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>

namespace taviro::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString scriptDir()
{
    return QStringLiteral(TAVIRO_SERVICE_TEST_SCRIPTS);
}

SmtpTestServer::SmtpTestServer(quint16 port) : m_port(port ? port : freeLoopbackPort())
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

bool SmtpTestServer::start(const Options& options)
{
    QStringList args{QStringLiteral("-W"), QStringLiteral("ignore"), scriptDir() + QStringLiteral("/smtp_server.py"),
                     QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--out"), m_dir.path()};
    if (!options.user.isEmpty())
        args << QStringLiteral("--user") << options.user << QStringLiteral("--password") << options.password;
    if (!options.refuse.isEmpty())
        args << QStringLiteral("--refuse") << options.refuse;
    // Debian's interpreter, which has aiosmtpd, whatever python3 comes first on PATH.
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    QDeadlineTimer deadline(20000);
    QByteArray out;
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
        if (out.contains("READY"))
            return true;
    }
    return false;
}

void SmtpTestServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

QList<QJsonObject> SmtpTestServer::messages() const
{
    QList<QJsonObject> out;
    const QDir dir(m_dir.path());
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << QJsonDocument::fromJson(f.readAll()).object();
    }
    return out;
}

QByteArray SmtpTestServer::raw(int index) const
{
    QFile f(QDir(m_dir.path()).filePath(QStringLiteral("%1.eml").arg(index + 1, 4, 10, QLatin1Char('0'))));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool SmtpTestServer::waitForMessages(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (messages().size() >= count)
            return true;
        QTest::qWait(100);
    }
    return messages().size() >= count;
}

} // namespace taviro::test
