#pragma once

#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace taviro::mail {

// One mail as the console handed it over, with the addresses still to serve.
struct QueuedMail
{
    QString file;        // the queue entry (…/name.json)
    QStringList pending; // addresses not yet delivered
    QStringList failed;  // addresses given up on
    QString recipientName;
    QString subject;
    QString body;
    QString attachmentFile; // our own copy inside the queue; empty: none
    QString attachmentName; // the name the recipient sees
    QDateTime queuedAt;
    QDateTime firstFailure; // invalid while no attempt has failed
};

// Mails wait on disk until every address has them, so a crash, a SIGKILL or a
// restart of the sender loses none. Each mail is one JSON file, written with
// an atomic rename; an attachment is copied beside it when the mail is handed
// over, so the console may remove its own file at once. Entries are served in
// the order they were handed over.
class MailQueue
{
public:
    explicit MailQueue(QString folder);

    // TAVIRO_MAIL_QUEUE when set, else "mailqueue" beside the database file
    // (or in the user's data folder when the database is not a local file).
    static QString folderFromEnvironment(const QString& databaseText);

    const QString& folder() const { return m_folder; }
    Status prepare() const;

    Result<QString> enqueue(const QStringList& addresses, const QString& recipientName,
                            const QString& subject, const QString& body,
                            const QString& attachmentPath);
    // Every readable entry, oldest first. Unreadable entries are moved aside
    // and named in `problems`.
    QList<QueuedMail> load(QStringList* problems = nullptr) const;
    Status save(const QueuedMail& mail) const;
    void remove(const QueuedMail& mail) const;
    // Keeps a mail that could not be delivered in failed/ for the administrator.
    QString moveToFailed(const QueuedMail& mail) const;
    int count() const;

private:
    QString m_folder;
    int m_counter = 0;
};

// Splits an address field: several addresses separated by ';', ',' or line breaks.
QStringList splitAddresses(const QString& field);

} // namespace taviro::mail
