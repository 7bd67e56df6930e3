#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace taviro::sms {

// The console joins its SMS pieces into one text, each piece padded to the
// next multiple of this many characters. Every piece goes out as one message.
constexpr int PieceLength = 145;

// The pieces of a console text, padding removed; blank pieces are dropped.
QStringList splitPieces(const QString& text);

// True when every character means the same in the modem's text mode as in
// ASCII, so the text can be sent as it is. Accented letters, the euro sign and
// characters that the GSM alphabet places elsewhere (@, $, _, brackets) are not.
bool fitsTextMode(const QString& text);

// A telephone number as the SMS address field wants it.
struct PhoneNumber
{
    QString digits;            // no '+', no spaces
    bool international = false; // written with + or 00
};
// Nothing when the number holds anything but digits, spaces, dashes, dots,
// brackets and one leading '+'.
std::optional<PhoneNumber> parsePhoneNumber(const QString& text);

// One SMS-SUBMIT in PDU mode: the hex string for the modem and the length
// that AT+CMGS wants (the octets after the service centre address).
struct Pdu
{
    QByteArray hex;
    int tpduLength = 0;
};

// The PDUs for one piece in UCS2: one when it fits 70 characters, otherwise
// a concatenated message (8-bit reference `reference`) of 67 characters a
// part, which the phone shows as one SMS. An empty or all-zero centre number
// leaves the modem's own service centre in charge.
QList<Pdu> buildUcs2Pdus(const PhoneNumber& to, const QString& smsCentre, const QString& text, int reference);

} // namespace taviro::sms
