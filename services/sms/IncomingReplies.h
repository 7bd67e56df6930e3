#pragma once

#include "DeliverPdu.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace taviro::sms {

// One message in the modem's store, as AT+CMGL lists it in PDU mode.
struct StoredMessage
{
    int index = -1;
    int status = -1;     // 0 received unread, 1 received read, 2 stored unsent, 3 stored sent
    int tpduLength = -1; // what the modem says the PDU holds after the service centre
    QByteArray pdu;      // hexadecimal
};

// Only received messages are replies; what the modem stored itself is not ours.
inline bool isReceived(const StoredMessage& m) { return m.status == 0 || m.status == 1; }

// Reads the information lines of AT+CMGL=4: a header line
// "+CMGL: <index>,<stat>,[<alpha>],<length>" and the PDU in hexadecimal on
// the line after it. Every line that does not fit that pattern is passed over
// and described in `skipped`. In PDU mode no character a sender writes
// reaches these lines as itself, so no text can pass for a header.
//
// A modem that said OK to PDU mode but lists in text mode shows each
// sender's text as it is, so a text can carry a line that looks like a PDU
// entry. One header of the text form ("+CMGL: 1,"REC UNREAD",...") makes
// the whole listing untrustworthy: nothing is returned and `textMode` is set.
QList<StoredMessage> parsePduList(const QList<QByteArray>& lines, QStringList* skipped, bool* textMode = nullptr);

// A reply as the recipient wrote it: one message, or a long one put together
// from all its parts. `indexes` are the store places it occupies.
struct ReadMessage
{
    QList<int> indexes;
    QString sender;
    SenderKind senderKind = SenderKind::Other;
    // The message's own mark, the same at every reading of the store: its
    // sender, the service centre's time stamp and the octets of its PDUs.
    // Kept with the acknowledgement, so a message read again (its delete
    // failed, or the service ended in between) is never applied twice.
    QString key;
    QString text;
    QString partsKey; // for parts that still wait for the rest: sender, reference and count
    int partsPresent = 0;
    int partsTotal = 1;
};

// An unreadable entry of the store and why.
struct UnreadableEntry
{
    int index = -1;
    QByteArray pdu;
    QString why;
};

struct StoreContents
{
    QList<ReadMessage> complete;
    QList<ReadMessage> incomplete; // parts of a long message whose other parts did not arrive yet
    QList<UnreadableEntry> unreadable;
};

// Decodes the received messages of a listing and joins the parts of long ones.
StoreContents readStore(const QList<StoredMessage>& messages);

// A reply that acknowledges: "OK" (the sender's latest open dispatch) or
// "OK <dispatch number>", also written "Oké", "oke" or "okay". Case, blanks,
// a trailing full stop or exclamation mark and emoji after it do not matter
// ("ok 👍"); anything else is no acknowledgement.
struct ReplyWord
{
    qint64 dispatchId = 0; // 0: the latest
};
std::optional<ReplyWord> parseReply(const QString& text);

// Whether the sender can be a recipient at all: a telephone number of the
// international or national kind, never a name or a service's short number.
inline bool isNumericSender(SenderKind kind)
{
    return kind == SenderKind::International || kind == SenderKind::National;
}

} // namespace taviro::sms
