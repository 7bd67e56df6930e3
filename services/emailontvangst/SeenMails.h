#pragma once

#include <QSet>
#include <QString>

namespace taviro::alarmemail {

// The mails whose report is committed, by mailbox and UIDL. POP3 deletes only
// when the session ends cleanly; a connection lost after the report was
// stored leaves the mail in the mailbox, and this list keeps the next poll
// from storing it a second time. Kept in a small file, appended and synced
// right after each commit.
//
// The same file keeps the mails that are passed over: no alarm mail, too
// large, or not to be fetched after several tries. They stay in the mailbox
// for a person to look at, but are not fetched again, so they cost no poll
// any time and never stand before the alarm mails behind them.
class SeenMails
{
public:
    // TAVIRO_ALARMEMAIL_STATE when set, else "alarmemail-seen.txt" beside the database file.
    static QString fileFromEnvironment(const QString& databaseText);

    explicit SeenMails(QString file);
    bool contains(const QString& mailbox, const QString& uid) const;
    bool add(const QString& mailbox, const QString& uid);
    bool isPassedOver(const QString& mailbox, const QString& uid) const;
    bool passOver(const QString& mailbox, const QString& uid);
    // Forgets what the mailbox no longer holds, so the file stays small.
    void keepOnly(const QString& mailbox, const QSet<QString>& uids);

private:
    void load();
    bool rewrite();
    bool append(const QString& line);

    QString m_file;
    QSet<QString> m_keys;       // "mailbox uid"
    QSet<QString> m_passedOver; // "mailbox uid", written as "- mailbox uid"
};

} // namespace taviro::alarmemail
