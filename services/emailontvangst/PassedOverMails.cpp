#include "PassedOverMails.h"

#include "DatabaseSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <unistd.h>

namespace taviro::alarmemail {

namespace {

// "= <size> <fingerprint or -> <mailbox> <uid>". Lines of earlier versions
// ("- mailbox uid" for a passed-over mail, a bare key for a stored one) name
// no fingerprint and are dropped: such a mail is read once more.
const QByteArray Mark = "= ";

QString keyOf(const QString& mailbox, const QString& uid)
{
    return mailbox + QLatin1Char(' ') + uid;
}

QByteArray lineOf(const QString& key, const PassedOverMails::Mail& mail)
{
    return Mark + QByteArray::number(mail.size) + ' ' +
           (mail.headerFingerprint.isEmpty() ? QByteArray("-") : mail.headerFingerprint) + ' ' + key.toUtf8() +
           '\n';
}

} // namespace

QString PassedOverMails::fileFromEnvironment(const QString& databaseText)
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

PassedOverMails::PassedOverMails(QString file) : m_file(std::move(file))
{
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    load();
}

void PassedOverMails::load()
{
    QFile f(m_file);
    if (!f.open(QIODevice::ReadOnly))
        return;
    bool dropped = false;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (!line.startsWith(Mark)) {
            dropped = dropped || !line.isEmpty();
            continue;
        }
        const QList<QByteArray> fields = line.mid(Mark.size()).split(' ');
        bool ok = false;
        const qint64 size = fields.value(0).toLongLong(&ok);
        if (!ok || fields.size() < 4)
            continue;
        const QByteArray fingerprint = fields.at(1) == "-" ? QByteArray() : fields.at(1);
        m_mails.insert(QString::fromUtf8(line.mid(line.indexOf(' ', line.indexOf(' ', Mark.size()) + 1) + 1)),
                       Mail{size, fingerprint});
    }
    f.close();
    if (dropped)
        rewrite();
}

std::optional<PassedOverMails::Mail> PassedOverMails::find(const QString& mailbox, const QString& uid) const
{
    const auto it = m_mails.constFind(keyOf(mailbox, uid));
    if (it == m_mails.constEnd())
        return std::nullopt;
    return *it;
}

bool PassedOverMails::passOver(const QString& mailbox, const QString& uid, const Mail& mail)
{
    const QString key = keyOf(mailbox, uid);
    m_mails.insert(key, mail);
    QFile f(m_file);
    if (!f.open(QIODevice::Append))
        return false;
    const bool ok = f.write(lineOf(key, mail)) > 0 && f.flush();
    ::fsync(f.handle());
    return ok;
}

void PassedOverMails::forget(const QString& mailbox, const QString& uid)
{
    if (m_mails.remove(keyOf(mailbox, uid)) > 0)
        rewrite();
}

void PassedOverMails::keepOnly(const QString& mailbox, const QSet<QString>& uids)
{
    const QString prefix = mailbox + QLatin1Char(' ');
    const qsizetype before = m_mails.size();
    m_mails.removeIf([&](const QHash<QString, Mail>::iterator& it) {
        return it.key().startsWith(prefix) && !uids.contains(it.key().mid(prefix.size()));
    });
    if (m_mails.size() != before)
        rewrite();
}

bool PassedOverMails::rewrite()
{
    QSaveFile f(m_file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    for (auto it = m_mails.cbegin(); it != m_mails.cend(); ++it)
        f.write(lineOf(it.key(), *it));
    return f.commit();
}

} // namespace taviro::alarmemail
