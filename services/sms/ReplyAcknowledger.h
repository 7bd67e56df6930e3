#pragma once

#include "IncomingReplies.h"

#include <QDateTime>
#include <QString>

namespace taviro {
class DatabaseConnector;
}

namespace taviro::sms {

// What a reply did, for the event log.
struct AckOutcome
{
    bool acknowledged = false;
    qint64 dispatchId = 0;
    QString recipientName;
    QString why; // Dutch, when nothing was acknowledged
    bool databaseFailed = false; // keep the reply and try again later
};

// A recipient's reply acknowledges one of his SMS dispatches, as if he had
// confirmed the alarm himself: the repetition stops. Without a dispatch
// number, his most recent one that nobody acknowledged yet; with a number,
// that dispatch, and only when it is his. One transaction.
AckOutcome acknowledgeReply(const DatabaseConnector& conn, const QString& fromNumber, const ReplyWord& reply,
                            const QDateTime& now);

} // namespace taviro::sms
