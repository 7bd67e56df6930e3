#pragma once

#include <QtGlobal>

namespace taviro {

class DatabaseConnector;
class EventLog;
class MailSender;
class MessageComposer;

// E-mails that dispatches still owe. When the mail service refuses the
// e-mail of a recipient who gets SMS too and the SMS goes out, the dispatch
// becomes an SMS dispatch (so its repetition and reply acknowledgement work)
// and its e-mail is noted in `uitmeldmail`. Every minute these are offered
// to the mail service again, until it takes them or the alarm is
// acknowledged.
class OwedMails
{
public:
    OwedMails(const DatabaseConnector& conn, EventLog& log, const MessageComposer& composer,
              MailSender& mail);

    // Hands over what the mail service takes now; stops at the first refusal
    // (the service is still away). Returns how many went.
    int retry();

private:
    enum class Step { Sent, Dropped, Refused };
    Step offer(qint64 uitmeldId, qint64 ontvangerId);
    bool take(qint64 uitmeldId) const;
    void putBack(qint64 uitmeldId) const;

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    const MessageComposer& m_composer;
    MailSender& m_mail;
};

} // namespace taviro
