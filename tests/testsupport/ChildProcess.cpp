#include "ChildProcess.h"

#include <csignal>

#include <QDir>
#include <QFile>

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QVariant>

namespace taviro::test {

QString binDir()
{
    return qEnvironmentVariable("TAVIRO_BIN_DIR");
}

void startProgram(QProcess& process, const QString& program, const QStringList& arguments,
                  const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString& kv : environment) {
        const int eq = kv.indexOf(QLatin1Char('='));
        env.insert(kv.left(eq), kv.mid(eq + 1));
    }
    process.setProcessEnvironment(env);
    process.start(binDir() + QLatin1Char('/') + program, arguments);
}

bool waitForStderr(QProcess& process, const QString& text, int timeoutMs)
{
    QByteArray seen;
    QDeadlineTimer deadline(timeoutMs);
    const QByteArray wanted = text.toUtf8();
    while (!deadline.hasExpired()) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
        if (seen.contains(wanted)) {
            process.setProperty("seenStderr", QVariant::fromValue(seen));
            return true;
        }
        if (process.state() == QProcess::NotRunning) {
            seen += process.readAllStandardError();
            process.setProperty("seenStderr", QVariant::fromValue(seen));
            return seen.contains(wanted);
        }
    }
    process.setProperty("seenStderr", QVariant::fromValue(seen));
    return false;
}

void stopProgram(QProcess& process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished();
    }
}

void stopProgramInNamespace(QProcess& wrapper, int graceMs)
{
    if (wrapper.state() == QProcess::NotRunning)
        return;
    for (qint64 pid : childrenOf(wrapper.processId()))
        ::kill(pid_t(pid), SIGTERM);
    if (!wrapper.waitForFinished(graceMs))
        stopProgram(wrapper, 1000);
}

QString stderrSeen(const QProcess& process)
{
    return QString::fromUtf8(process.property("seenStderr").toByteArray());
}

QList<qint64> childrenOf(qint64 parent)
{
    QList<qint64> out;
    for (const QString& p : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(p));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == parent)
            out << p.toLongLong();
    }
    return out;
}

QStringList environmentOf(qint64 pid)
{
    QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!environ.open(QIODevice::ReadOnly))
        return {};
    QStringList out;
    for (const QByteArray& entry : environ.readAll().split('\0'))
        if (!entry.isEmpty())
            out << QString::fromLocal8Bit(entry);
    return out;
}

} // namespace taviro::test
