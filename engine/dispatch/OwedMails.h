#pragma once

#include <QtGlobal>

namespace taviro {

class DatabaseConnector;
class EventLog;
class MessageComposer;

// E-mails that dispatches still owe from the days when the mail service
// could refuse a mail: the dispatch's SMS went out and its e-mail was noted
// in `uitmeldmail`. Every minute these move into the outbox, each in the
// transaction that removes its note, unless the alarm was acknowledged or
// the recipient no longer gets e-mail.
class OwedMails
{
public:
    OwedMails(const DatabaseConnector& conn, EventLog& log, const MessageComposer& composer);

    // Returns how many were queued.
    int retry();

private:
    enum class Step { Queued, Dropped, Later };
    Step move(qint64 uitmeldId, qint64 ontvangerId, bool acknowledged);

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    const MessageComposer& m_composer;
};

} // namespace taviro
