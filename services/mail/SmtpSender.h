#pragma once

#include <QString>

#include <atomic>

namespace taviro::mail {

// The outgoing mail server as the settings row describes it.
struct SmtpSettings
{
    QString server;
    int port = 25;
    QString fromName;
    QString fromMail;
    bool login = false; // `authentification` non-zero
    QString userName;
    QString password;
};

// One mail to one address, composed for the wire.
struct Envelope
{
    QString address;
    QString recipientName;
    QString subject;
    QString body;
    QString attachmentFile; // empty: no attachment
    QString attachmentName;
};

struct SendOutcome
{
    enum Kind
    {
        Sent,
        Retry,  // the server could not be reached or asked us to come back later
        Refused // the server turned this mail down for good (5xx)
    };
    Kind kind = Retry;
    QString reason;
    // Failures of the connection or the login hold for every mail, not just this one.
    bool serverWide = false;
};

// Hands mails to the SMTP server through libcurl: STARTTLS whenever the server
// offers it, login when the settings ask for it, a MIME message with UTF-8
// subject and body and the attachment as a base64 part.
class SmtpSender
{
public:
    explicit SmtpSender(const std::atomic_bool& stopping) : m_stopping(stopping) {}
    SendOutcome send(const SmtpSettings& settings, const Envelope& mail) const;
    // Gives up a whole send after this many seconds (0: only a stalled one),
    // for a sender that someone waits for.
    void setTimeLimit(int seconds) { m_timeLimitSeconds = seconds; }

private:
    const std::atomic_bool& m_stopping;
    int m_timeLimitSeconds = 0;
};

// Of the server's reply lines, the last one that refuses ("550 5.1.1 ..."):
// the server's own words, which say more than the command that failed.
QString lastRefusal(const QList<QByteArray>& replyLines);

// "=?UTF-8?B?...?=" when the text needs it, the text itself when it is plain ASCII.
QByteArray encodeHeaderWord(const QString& text);
// The header lines of a mail (Date, From, To, Subject, Message-ID), without line ends.
QList<QByteArray> composeHeaders(const SmtpSettings& settings, const Envelope& mail);

} // namespace taviro::mail
