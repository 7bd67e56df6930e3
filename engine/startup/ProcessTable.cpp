#include "ProcessTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

namespace taviro::proc {

namespace {

QString withoutDeleted(QString path)
{
    // A replaced executable shows as "/path/name (deleted)".
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return path;
}

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

ProcessEntry entryOf(pid_t pid, const QString& pidText)
{
    const QString base = QStringLiteral("/proc/") + pidText;
    const QString exe = withoutDeleted(QFileInfo(base + QStringLiteral("/exe")).symLinkTarget());
    if (!exe.isEmpty())
        return {pid, fileNameOf(exe), exe};
    QFile cmdline(base + QStringLiteral("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {pid, {}, {}};
    const QByteArray raw = cmdline.read(4096);
    const QByteArray argv0 = raw.left(raw.indexOf('\0'));
    return {pid, fileNameOf(withoutDeleted(QString::fromLocal8Bit(argv0))), {}};
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
        ProcessEntry entry = entryOf(pid, p);
        if (!entry.executableName.isEmpty())
            out.append(std::move(entry));
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
