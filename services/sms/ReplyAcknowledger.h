#pragma once

#include "IncomingReplies.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace taviro {
class DatabaseConnector;
}

namespace taviro::sms {

// What a message from the modem's store did, for the event log.
struct AckOutcome
{
    bool alreadyHandled = false; // its key was stored: read before, only its delete failed
    bool acknowledged = false;
    qint64 dispatchId = 0;
    QString recipientName;
    QString why; // Dutch, when nothing was acknowledged
    bool databaseFailed = false; // keep the message and try again later
};

// Handles one message once. Its key goes into `meldingsleutel` in the same
// transaction as what it does, so a message read again after its delete
// failed, or after the service ended between the commit and the delete, is
// recognised and does nothing a second time.
//
// A reply word (`reply`) from a telephone number acknowledges one of the
// SMS dispatches of the recipient with that number, as if he had confirmed
// the alarm himself: without a dispatch number his most recent one that
// nobody acknowledged yet; with a number, that dispatch, and only when it is
// his. Numbers are compared whole, in their international form with the
// installation's country code. A name or a service's short number never
// stands for a recipient.
AckOutcome handleStoredMessage(const DatabaseConnector& conn, const ReadMessage& message,
                               const std::optional<ReplyWord>& reply, const QString& countryCode,
                               const QDateTime& now);

} // namespace taviro::sms
