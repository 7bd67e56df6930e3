#include "SeenMails.h"

#include "DatabaseSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <unistd.h>

namespace taviro::alarmemail {

namespace {

// A passed-over mail's line starts with this; a stored mail's line is the
// bare key, as it always was.
const QString PassedOverMark = QStringLiteral("- ");

} // namespace

QString SeenMails::fileFromEnvironment(const QString& databaseText)
{
    const QString fromEnv = qEnvironmentVariable("TAVIRO_ALARMEMAIL_STATE");
    if (!fromEnv.trimmed().isEmpty())
        return fromEnv.trimmed();
    const DatabaseSettings db = DatabaseSettings::fromText(databaseText);
    if (db.dialect == Dialect::SQLite && !db.location.isEmpty())
        return QFileInfo(db.location).absoluteDir().filePath(QStringLiteral("alarmemail-seen.txt"));
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/taviro/alarmemail-seen.txt");
}

SeenMails::SeenMails(QString file) : m_file(std::move(file))
{
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    load();
}

void SeenMails::load()
{
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly))
        return;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(PassedOverMark))
            m_passedOver.insert(line.mid(PassedOverMark.size()));
        else if (!line.isEmpty())
            m_keys.insert(line);
    }
}

bool SeenMails::contains(const QString& mailbox, const QString& uid) const
{
    return m_keys.contains(mailbox + QLatin1Char(' ') + uid);
}

bool SeenMails::add(const QString& mailbox, const QString& uid)
{
    const QString key = mailbox + QLatin1Char(' ') + uid;
    m_keys.insert(key);
    return append(key);
}

bool SeenMails::isPassedOver(const QString& mailbox, const QString& uid) const
{
    return m_passedOver.contains(mailbox + QLatin1Char(' ') + uid);
}

bool SeenMails::passOver(const QString& mailbox, const QString& uid)
{
    const QString key = mailbox + QLatin1Char(' ') + uid;
    m_passedOver.insert(key);
    return append(PassedOverMark + key);
}

bool SeenMails::append(const QString& line)
{
    QFile f(m_file);
    if (!f.open(QIODevice::Append))
        return false;
    const bool ok = f.write((line + QLatin1Char('\n')).toUtf8()) > 0 && f.flush();
    ::fsync(f.handle());
    return ok;
}

void SeenMails::keepOnly(const QString& mailbox, const QSet<QString>& uids)
{
    const QString prefix = mailbox + QLatin1Char(' ');
    const qsizetype before = m_keys.size() + m_passedOver.size();
    auto gone = [&](const QString& key) {
        return key.startsWith(prefix) && !uids.contains(key.mid(prefix.size()));
    };
    m_keys.removeIf(gone);
    m_passedOver.removeIf(gone);
    if (m_keys.size() + m_passedOver.size() != before)
        rewrite();
}

bool SeenMails::rewrite()
{
    QSaveFile f(m_file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (const QString& key : std::as_const(m_keys))
        f.write((key + QLatin1Char('\n')).toUtf8());
    for (const QString& key : std::as_const(m_passedOver))
        f.write((PassedOverMark + key + QLatin1Char('\n')).toUtf8());
    return f.commit();
}

} // namespace taviro::alarmemail
