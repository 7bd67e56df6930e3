#include "DeliverEncoder.h"

namespace taviro::test {

namespace {

// Plain ASCII whose GSM default-alphabet code is its ASCII code.
bool gsmAsAscii(const QString& text)
{
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u > 0x7a || QStringLiteral("@$_`[\\]^").contains(c))
            return false;
    }
    return true;
}

QByteArray packSeptets(const QByteArray& septets)
{
    QByteArray out((septets.size() * 7 + 7) / 8, 0);
    for (int i = 0; i < septets.size(); ++i) {
        const int bit = i * 7;
        const int v = septets.at(i) & 0x7f;
        out[bit / 8] = char(quint8(out.at(bit / 8)) | quint8(v << (bit % 8)));
        if (bit % 8 > 1)
            out[bit / 8 + 1] = char(quint8(out.at(bit / 8 + 1)) | quint8(v >> (8 - bit % 8)));
    }
    return out;
}

QByteArray hexOctet(int v)
{
    return QByteArray::number(v & 0xff, 16).rightJustified(2, '0').toUpper();
}

// Length in semi-octets (or, for a name, in useful semi-octets), type, value.
QByteArray address(const IncomingSms& sms)
{
    using S = IncomingSms::Sender;
    if (sms.kind == S::Alphanumeric) {
        const QByteArray packed = packSeptets(sms.sender.toLatin1());
        return hexOctet(int(sms.sender.size() * 7 + 3) / 4) + "D0" + packed.toHex().toUpper();
    }
    QByteArray digits = sms.sender.toLatin1();
    if (digits.startsWith('+'))
        digits.remove(0, 1);
    QByteArray swapped = digits;
    if (swapped.size() % 2)
        swapped.append('F');
    for (int i = 0; i + 1 < swapped.size(); i += 2)
        std::swap(swapped[i], swapped[i + 1]);
    const char* type = sms.kind == S::International ? "91" : sms.kind == S::National ? "A1"
                     : sms.kind == S::Abbreviated   ? "E1"
                                                    : "81";
    return hexOctet(int(digits.size())) + type + swapped;
}

} // namespace

QByteArray encodeDeliver(const IncomingSms& sms)
{
    const bool concatenated = sms.reference >= 0;
    const bool ucs2 = sms.ucs2 || concatenated || !gsmAsAscii(sms.text);
    QByteArray tpdu = concatenated ? "44" : "04"; // SMS-DELIVER, no more messages; user data header
    tpdu += address(sms) + "00" + (ucs2 ? "08" : "00") + sms.timestamp;
    QByteArray ud;
    int udl = 0;
    if (ucs2) {
        if (concatenated)
            ud = QByteArray::fromHex("050003" + hexOctet(sms.reference) + hexOctet(sms.parts) + hexOctet(sms.part));
        for (QChar c : sms.text)
            ud.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
        udl = int(ud.size());
    } else {
        ud = packSeptets(sms.text.toLatin1());
        udl = int(sms.text.size());
    }
    return "00" + tpdu + hexOctet(udl) + ud.toHex().toUpper();
}

int tpduLength(const QByteArray& hex)
{
    const QByteArray octets = QByteArray::fromHex(hex);
    return octets.isEmpty() ? 0 : int(octets.size()) - 1 - quint8(octets.at(0));
}

} // namespace taviro::test
