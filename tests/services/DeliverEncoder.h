#pragma once

#include <QByteArray>
#include <QString>

namespace taviro::test {

// A received SMS as a network hands it to a modem, built here from the
// standard's field layout and nothing of the product, so the product's
// decoder is checked against an independent encoder.
struct IncomingSms
{
    enum class Sender {
        International, // type 91: "+31612345678" (the "+" is left out of the digits)
        National,      // type A1: "0612345678"
        Unknown,       // type 81, as many networks mark a national number
        Alphanumeric,  // type D0: a name in the GSM alphabet, such as "0600000011" or "Bank"
        Abbreviated,   // type E1: a service's short number
    };
    QString sender;
    Sender kind = Sender::International;
    QString text;
    QByteArray timestamp = "62216040000040"; // 7 octets in hexadecimal: 6 Dec 2026 04:00:00 +01:00
    bool ucs2 = false;                        // forced; otherwise only when the text is not plain ASCII
    int reference = -1;                       // >= 0: one part of a long message (always UCS2)
    int parts = 1, part = 1;
};

// The PDU with an empty service-centre field ("00"), in upper-case hexadecimal.
QByteArray encodeDeliver(const IncomingSms& sms);
// The length AT+CMGL announces: the octets after the service-centre field.
int tpduLength(const QByteArray& hex);

} // namespace taviro::test
