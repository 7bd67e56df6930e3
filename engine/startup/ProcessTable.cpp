#include "ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

namespace taviro::proc {

namespace {

QString fileNameOf(QString path)
{
    // A replaced executable shows as "/path/name (deleted)".
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString executableOf(const QString& pidText)
{
    const QString base = QStringLiteral("/proc/") + pidText;
    const QString exe = QFileInfo(base + QStringLiteral("/exe")).symLinkTarget();
    if (!exe.isEmpty())
        return fileNameOf(exe);
    QFile cmdline(base + QStringLiteral("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    const QByteArray raw = cmdline.read(4096);
    const QByteArray argv0 = raw.left(raw.indexOf('\0'));
    return fileNameOf(QString::fromLocal8Bit(argv0));
}

} // namespace

QList<ProcessEntry> list()
{
    QList<ProcessEntry> out;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& p : pids) {
        bool isPid = false;
        const pid_t pid = pid_t(p.toInt(&isPid));
        if (!isPid)
            continue;
        const QString name = executableOf(p);
        if (!name.isEmpty())
            out.append({pid, name});
    }
    return out;
}

bool isAlive(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // Field 3, after the parenthesised command name, is the state.
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close < 0 || line.size() < close + 3 || line.at(close + 2) != 'Z';
}

} // namespace taviro::proc
