#include "MailQueue.h"

#include "DatabaseSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace taviro::mail {

namespace {

QJsonArray toArray(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

QStringList fromArray(const QJsonValue& value)
{
    QStringList out;
    for (const QJsonValue& v : value.toArray())
        out << v.toString();
    return out;
}

QString stamp(const QDateTime& t)
{
    return t.isValid() ? t.toString(Qt::ISODateWithMs) : QString();
}

} // namespace

QStringList splitAddresses(const QString& field)
{
    static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
    QStringList out;
    for (QString part : field.split(separators, Qt::SkipEmptyParts)) {
        // "Naam <adres>" pasted from a mail program: keep the address.
        const qsizetype open = part.indexOf(QLatin1Char('<'));
        if (open >= 0)
            part = part.mid(open + 1).remove(QLatin1Char('>'));
        if (!part.isEmpty() && !out.contains(part, Qt::CaseInsensitive))
            out << part;
    }
    return out;
}

MailQueue::MailQueue(QString folder) : m_folder(QDir::cleanPath(std::move(folder))) {}

QString MailQueue::folderFromEnvironment(const QString& databaseText)
{
    const QString fromEnv = qEnvironmentVariable("TAVIRO_MAIL_QUEUE");
    if (!fromEnv.trimmed().isEmpty())
        return fromEnv.trimmed();
    const DatabaseSettings db = DatabaseSettings::fromText(databaseText);
    if (db.dialect == Dialect::SQLite && !db.location.isEmpty())
        return QFileInfo(db.location).absoluteDir().filePath(QStringLiteral("mailqueue"));
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/taviro/mailqueue");
}

Status MailQueue::prepare() const
{
    if (!QDir().mkpath(m_folder) || !QDir().mkpath(m_folder + QStringLiteral("/failed")))
        return Status::failure(
            QStringLiteral("Mailwachtrij %1 kan niet worden aangemaakt").arg(m_folder));
    const QString probe = m_folder + QStringLiteral("/.schrijftest");
    QFile f(probe);
    if (!f.open(QIODevice::WriteOnly))
        return Status::failure(QStringLiteral("Mailwachtrij %1 is niet schrijfbaar").arg(m_folder));
    f.close();
    f.remove();
    return {};
}

Result<QString> MailQueue::enqueue(const QStringList& addresses, const QString& recipientName,
                                   const QString& subject, const QString& body,
                                   const QString& attachmentPath)
{
    const QDateTime now = QDateTime::currentDateTime();
    // Sortable by the moment of hand-over, unique across restarts of the sender.
    const QString base = QStringLiteral("%1-%2-%3")
                             .arg(now.toString(QStringLiteral("yyyyMMddhhmmsszzz")))
                             .arg(QCoreApplication::applicationPid())
                             .arg(++m_counter, 6, 10, QLatin1Char('0'));
    QueuedMail mail;
    mail.file = m_folder + QLatin1Char('/') + base + QStringLiteral(".json");
    mail.pending = addresses;
    mail.recipientName = recipientName;
    mail.subject = subject;
    mail.body = body;
    mail.queuedAt = now;
    if (!attachmentPath.isEmpty()) {
        mail.attachmentFile = m_folder + QLatin1Char('/') + base + QStringLiteral(".bijlage");
        mail.attachmentName = QFileInfo(attachmentPath).fileName();
        if (!QFile::copy(attachmentPath, mail.attachmentFile))
            return Result<QString>::failure(
                QStringLiteral("Bijlage %1 kan niet worden gelezen").arg(attachmentPath));
    }
    if (Status s = save(mail); !s) {
        if (!mail.attachmentFile.isEmpty())
            QFile::remove(mail.attachmentFile);
        return Result<QString>::failure(s.error());
    }
    return mail.file;
}

Status MailQueue::save(const QueuedMail& mail) const
{
    const QJsonObject o{
        {QStringLiteral("pending"), toArray(mail.pending)},
        {QStringLiteral("failed"), toArray(mail.failed)},
        {QStringLiteral("recipientName"), mail.recipientName},
        {QStringLiteral("subject"), mail.subject},
        {QStringLiteral("body"), mail.body},
        {QStringLiteral("attachmentFile"), QFileInfo(mail.attachmentFile).fileName()},
        {QStringLiteral("attachmentName"), mail.attachmentName},
        {QStringLiteral("queuedAt"), stamp(mail.queuedAt)},
        {QStringLiteral("firstFailure"), stamp(mail.firstFailure)}};
    QSaveFile f(mail.file);
    if (!f.open(QIODevice::WriteOnly) || f.write(QJsonDocument(o).toJson()) < 0 || !f.commit())
        return Status::failure(QStringLiteral("Mailwachtrij: %1 kan niet worden geschreven: %2")
                                   .arg(mail.file, f.errorString()));
    return {};
}

QList<QueuedMail> MailQueue::load(QStringList* problems) const
{
    QList<QueuedMail> out;
    const QDir dir(m_folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QueuedMail mail;
        mail.file = dir.filePath(name);
        QFile f(mail.file);
        const QJsonDocument doc =
            f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()) : QJsonDocument();
        const QJsonObject o = doc.object();
        if (!doc.isObject() || !o.value(QStringLiteral("pending")).isArray()) {
            if (problems)
                *problems << QStringLiteral("Onleesbare mail in de wachtrij apart gezet: %1")
                                 .arg(moveToFailed(mail));
            continue;
        }
        mail.pending = fromArray(o.value(QStringLiteral("pending")));
        mail.failed = fromArray(o.value(QStringLiteral("failed")));
        mail.recipientName = o.value(QStringLiteral("recipientName")).toString();
        mail.subject = o.value(QStringLiteral("subject")).toString();
        mail.body = o.value(QStringLiteral("body")).toString();
        const QString attachment = o.value(QStringLiteral("attachmentFile")).toString();
        if (!attachment.isEmpty())
            mail.attachmentFile = dir.filePath(attachment);
        mail.attachmentName = o.value(QStringLiteral("attachmentName")).toString();
        mail.queuedAt = QDateTime::fromString(o.value(QStringLiteral("queuedAt")).toString(),
                                              Qt::ISODateWithMs);
        mail.firstFailure = QDateTime::fromString(
            o.value(QStringLiteral("firstFailure")).toString(), Qt::ISODateWithMs);
        out << mail;
    }
    return out;
}

void MailQueue::remove(const QueuedMail& mail) const
{
    QFile::remove(mail.file);
    if (!mail.attachmentFile.isEmpty())
        QFile::remove(mail.attachmentFile);
}

QString MailQueue::moveToFailed(const QueuedMail& mail) const
{
    const QString target = m_folder + QStringLiteral("/failed/") + QFileInfo(mail.file).fileName();
    QFile::remove(target);
    QFile::rename(mail.file, target);
    if (!mail.attachmentFile.isEmpty()) {
        const QString att =
            m_folder + QStringLiteral("/failed/") + QFileInfo(mail.attachmentFile).fileName();
        QFile::remove(att);
        QFile::rename(mail.attachmentFile, att);
    }
    return target;
}

int MailQueue::count() const
{
    return int(QDir(m_folder).entryList({QStringLiteral("*.json")}, QDir::Files).size());
}

} // namespace taviro::mail
