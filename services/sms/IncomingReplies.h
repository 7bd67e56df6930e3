#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace taviro::sms {

// One message in the modem's store, as AT+CMGL lists it in text mode.
struct StoredMessage
{
    int index = -1;
    QString status; // "REC UNREAD", "REC READ", "STO SENT", ...
    QString sender;
    QString text;
};

// Only received messages are replies; what the modem stored itself is not ours.
inline bool isReceived(const StoredMessage& m) { return m.status.startsWith(QLatin1String("REC")); }

// Reads the information lines of AT+CMGL="ALL" (text mode): a header line
// "+CMGL: <index>,<stat>,<sender>,..." followed by the text, which may run
// over several lines until the next header.
QList<StoredMessage> parseMessageList(const QList<QByteArray>& lines);

// A reply that acknowledges: "OK" (the sender's latest open dispatch) or
// "OK <dispatch number>". Case, surrounding blanks and a trailing full stop
// or exclamation mark do not matter; anything else is no acknowledgement.
struct ReplyWord
{
    qint64 dispatchId = 0; // 0: the latest
};
std::optional<ReplyWord> parseReply(const QString& text);

// A number as compared between a reply and a recipient: its last nine digits
// (enough for a mobile number in any of its written forms: +31 6..., 06...,
// 0031 6...), or all of them when it has fewer.
QString numberKey(const QString& number);

} // namespace taviro::sms
