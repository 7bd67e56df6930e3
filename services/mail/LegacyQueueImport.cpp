#include "LegacyQueueImport.h"

#include "DatabaseConnector.h"
#include "DatabaseSettings.h"
#include "MailOutbox.h"
#include "Transaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

namespace taviro::mail {

QString legacyQueueFolder(const QString& databaseText)
{
    const QString fromEnv = qEnvironmentVariable("TAVIRO_MAIL_QUEUE");
    if (!fromEnv.trimmed().isEmpty())
        return fromEnv.trimmed();
    const DatabaseSettings db = DatabaseSettings::fromText(databaseText);
    if (db.dialect == Dialect::SQLite && !db.location.isEmpty())
        return QFileInfo(db.location).absoluteDir().filePath(QStringLiteral("mailqueue"));
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/taviro/mailqueue");
}

namespace {

QString setAside(const QDir& dir, const QString& name)
{
    QDir().mkpath(dir.filePath(QStringLiteral("failed")));
    const QString target = dir.filePath(QStringLiteral("failed/") + name);
    QFile::remove(target);
    QFile::rename(dir.filePath(name), target);
    return target;
}

} // namespace

Result<int> importLegacyQueue(const QString& folder, const DatabaseConnector& conn, QStringList* problems)
{
    const QDir dir(folder);
    if (!dir.exists())
        return 0;
    int imported = 0;
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        const QJsonDocument doc = f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()) : QJsonDocument();
        f.close();
        const QJsonObject o = doc.object();
        if (!doc.isObject() || !o.value(QStringLiteral("pending")).isArray()) {
            if (problems)
                *problems << QStringLiteral("Onleesbare mail in de oude wachtrij apart gezet: %1").arg(setAside(dir, name));
            continue;
        }
        outbox::OutgoingMail mail;
        mail.key = QStringLiteral("map ") + QFileInfo(name).completeBaseName();
        QStringList pending;
        for (const QJsonValue& v : o.value(QStringLiteral("pending")).toArray())
            pending << v.toString();
        mail.address = pending.join(QLatin1Char(';'));
        mail.recipientName = o.value(QStringLiteral("recipientName")).toString();
        mail.subject = o.value(QStringLiteral("subject")).toString();
        mail.body = o.value(QStringLiteral("body")).toString();
        const QString attachment = o.value(QStringLiteral("attachmentFile")).toString();
        if (!attachment.isEmpty()) {
            QFile a(dir.filePath(attachment));
            if (!a.open(QIODevice::ReadOnly)) {
                if (problems)
                    *problems << QStringLiteral("Bijlage %1 van een mail in de oude wachtrij is niet leesbaar; de mail "
                                                "is apart gezet: %2")
                                     .arg(a.fileName(), setAside(dir, name));
                continue;
            }
            mail.attachment = a.readAll();
            mail.attachmentName = o.value(QStringLiteral("attachmentName")).toString();
        }
        Transaction tx(conn);
        Status s = tx.begin();
        Result<int> queued = 0;
        if (s) {
            queued = outbox::queueMail(conn, mail);
            s = Status::from(queued);
        }
        if (s)
            s = tx.commit();
        if (!s)
            return Result<int>::failure(s.error());
        imported += *queued;
        QFile::remove(dir.filePath(name));
        if (!attachment.isEmpty())
            QFile::remove(dir.filePath(attachment));
    }
    return imported;
}

} // namespace taviro::mail
