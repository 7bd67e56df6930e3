#include "PgTestServer.h"

#include <QFile>
#include <QProcess>

namespace taviro::test {

namespace {

QString script()
{
    return QStringLiteral(TAVIRO_SOURCE_DIR "/scripts/pg-test-server.sh");
}

} // namespace

bool PgTestServer::available()
{
    return QProcess::execute(QStringLiteral("bash"),
                             {QStringLiteral("-c"), QStringLiteral("ls /usr/lib/postgresql/*/bin/pg_ctl >/dev/null 2>&1")}) == 0;
}

PgTestServer::PgTestServer(Kind kind)
{
    // The server runs as nobody when the tests run as root.
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                            QFileDevice::ExeOther);
    if (!call({QStringLiteral("start"), dir(0)}))
        return;
    m_servers = 1;
    QString hosts = QStringLiteral("127.0.0.1:") + port(0);
    if (kind == Kind::Pair) {
        if (!call({QStringLiteral("standby"), dir(1), dir(0)}))
            return;
        m_servers = 2;
        hosts += QStringLiteral(",127.0.0.1:") + port(1);
    }
    m_url = QStringLiteral("postgresql://taviro@%1/postgres").arg(hosts);
}

PgTestServer::~PgTestServer()
{
    for (int i = 0; i < m_servers; ++i)
        (void)call({QStringLiteral("stop"), dir(i)});
}

bool PgTestServer::run(const QString& command, int index)
{
    return call({command, dir(index)});
}

QString PgTestServer::dir(int index) const
{
    return m_dir.path() + (index == 0 ? QStringLiteral("/primary") : QStringLiteral("/standby"));
}

QString PgTestServer::port(int index) const
{
    QFile f(dir(index) + QStringLiteral("/port"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
}

bool PgTestServer::call(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("bash"), QStringList{script()} + args);
    if (p.waitForFinished(120000) && p.exitCode() == 0)
        return true;
    m_error += QString::fromUtf8(p.readAllStandardError());
    return false;
}

} // namespace taviro::test
