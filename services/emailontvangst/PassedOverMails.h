#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

namespace taviro::alarmemail {

// The mails that are passed over: no alarm mail, too large, or not to be
// fetched after several tries. They stay in the mailbox for a person to look
// at, but are not fetched again, so they cost no poll any time and never
// stand before the alarm mails behind them.
//
// A UIDL alone does not name a mail (some servers number them, so a new mail
// gets the UIDL of one that left), so each is kept with its size and the
// fingerprint of its headers, and is passed over only while the mail under
// that UIDL still has them. Whether a mail was stored is not kept here but
// with the report in the database: losing this file costs a repeated line
// in the event log, never an alarm.
class PassedOverMails
{
public:
    // TAVIRO_ALARMEMAIL_STATE when set, else "alarmemail-seen.txt" beside the database file.
    static QString fileFromEnvironment(const QString& databaseText);

    struct Mail
    {
        qint64 size = 0;
        QByteArray headerFingerprint; // empty when the headers could not be read
    };

    explicit PassedOverMails(QString file);
    std::optional<Mail> find(const QString& mailbox, const QString& uid) const;
    bool passOver(const QString& mailbox, const QString& uid, const Mail& mail);
    void forget(const QString& mailbox, const QString& uid);
    // Forgets what the mailbox no longer holds, so the file stays small.
    void keepOnly(const QString& mailbox, const QSet<QString>& uids);

private:
    void load();
    bool rewrite();

    QString m_file;
    QHash<QString, Mail> m_mails; // by "mailbox uid"
};

} // namespace taviro::alarmemail
