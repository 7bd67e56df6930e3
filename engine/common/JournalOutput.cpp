#include "JournalOutput.h"

#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

namespace taviro::journal {

bool stderrIsJournal()
{
    const QByteArray named = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = named.indexOf(':');
    if (colon <= 0)
        return false;
    bool devOk = false, inoOk = false;
    const qulonglong device = named.left(colon).toULongLong(&devOk);
    const qulonglong inode = named.mid(colon + 1).toULongLong(&inoOk);
    struct stat err = {};
    if (!devOk || !inoOk || ::fstat(STDERR_FILENO, &err) != 0)
        return false;
    return qulonglong(err.st_dev) == device && qulonglong(err.st_ino) == inode;
}

int levelFromEnvironment()
{
    bool ok = false;
    const int level = qEnvironmentVariableIntValue("TAVIRO_JOURNAL_LEVEL", &ok);
    return ok && level > 0 ? 1 : 0;
}

QString withoutPhoneNumbers(const QString& line)
{
    static const QRegularExpression number(QStringLiteral("\\+?\\d(?: ?\\d){7,}"));
    QString masked = line;
    masked.replace(number, QStringLiteral("[nummer]"));
    return masked;
}

} // namespace taviro::journal
