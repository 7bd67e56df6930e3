#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace taviro::sms {

// One received message (SMS-DELIVER) as the network handed it to the modem,
// read from the octets of the PDU itself. The sender and the text come from
// the message's own fields, never from anything the modem printed around it.
// What the originating address says the sender is. Only a telephone number
// can be a recipient's: an alphanumeric name is whatever its sender chose to
// write, and a network-specific or abbreviated number is a service's.
enum class SenderKind {
    International, // type of number 1: "+" and the digits
    National,      // type 2, or 0 (unknown) as phones show a national number
    Alphanumeric,  // type 5: a name in the GSM alphabet
    Other,         // network specific, subscriber, abbreviated, reserved
};

struct DeliverPdu
{
    QString sender; // "+31612345678", "0612345678" or an alphanumeric name
    SenderKind senderKind = SenderKind::Other;
    QByteArray timestamp; // the service centre's time stamp, its 7 octets
    QString text;
    // A part of a longer message: the sender's reference and where it goes.
    // parts == 1 for an ordinary message.
    int reference = -1;
    int parts = 1;
    int part = 1;
};

// Decodes the PDU that AT+CMGL lists in PDU mode: the service centre field,
// then the TPDU. `tpduLength` is the length the modem announced (-1: not
// known); a PDU that disagrees with it, is cut short, is not an SMS-DELIVER or
// uses a coding we cannot read gives nothing and a Dutch reason.
std::optional<DeliverPdu> decodeDeliverPdu(const QByteArray& hex, int tpduLength, QString* problem);

// The GSM 7-bit default alphabet with its extension table, from unpacked
// septets; an escape not followed by an extension character is shown as a blank.
QString gsm7ToText(const QByteArray& septets);

} // namespace taviro::sms
