#include "SmsEncoding.h"

namespace taviro::sms {

namespace {

constexpr int SingleUcs2Chars = 70;
constexpr int PartUcs2Chars = 67; // 6 octets of concatenation header go off

QByteArray hexOctet(int value)
{
    return QByteArray::number(value & 0xff, 16).rightJustified(2, '0').toUpper();
}

// Digits in swapped nibbles, padded with F: "3161234" -> "1316"+"32"+"F4".
QByteArray semiOctets(const QString& digits)
{
    QByteArray out;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const char first = char(digits.at(i).toLatin1());
        const char second = i + 1 < digits.size() ? char(digits.at(i + 1).toLatin1()) : 'F';
        out.append(second);
        out.append(first);
    }
    return out;
}

QByteArray addressField(const PhoneNumber& n)
{
    return hexOctet(int(n.digits.size())) + (n.international ? "91" : "81") + semiOctets(n.digits);
}

QByteArray centreField(const QString& smsCentre)
{
    const auto centre = parsePhoneNumber(smsCentre);
    if (!centre || centre->digits.isEmpty() || centre->digits.count(QLatin1Char('0')) == centre->digits.size())
        return "00";
    const QByteArray number = semiOctets(centre->digits);
    return hexOctet(int(number.size() / 2 + 1)) + (centre->international ? "91" : "81") + number;
}

QByteArray ucs2Hex(const QString& text)
{
    QByteArray out;
    for (QChar c : text)
        out += hexOctet(c.unicode() >> 8) + hexOctet(c.unicode());
    return out;
}

} // namespace

QStringList splitPieces(const QString& text)
{
    QStringList pieces;
    for (qsizetype at = 0; at < text.size(); at += PieceLength) {
        QString piece = text.mid(at, PieceLength);
        while (!piece.isEmpty() && piece.back().isSpace())
            piece.chop(1);
        if (!piece.trimmed().isEmpty())
            pieces.append(piece);
    }
    return pieces;
}

bool fitsTextMode(const QString& text)
{
    static const QString unsafe = QStringLiteral("@$_[]{}\\^~|`");
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\n' || u == '\r')
            continue;
        if (u < 0x20 || u > 0x7e || unsafe.contains(c))
            return false;
    }
    return true;
}

std::optional<PhoneNumber> parsePhoneNumber(const QString& text)
{
    PhoneNumber n;
    const QString t = text.trimmed();
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (c.isDigit() && c.unicode() < 0x80)
            n.digits.append(c);
        else if (c == QLatin1Char('+') && i == 0)
            n.international = true;
        else if (!QStringLiteral(" -.()/").contains(c))
            return std::nullopt;
    }
    if (!n.international && n.digits.startsWith(QLatin1String("00"))) {
        n.international = true;
        n.digits.remove(0, 2);
    }
    if (n.digits.isEmpty() || n.digits.size() > 20)
        return std::nullopt;
    return n;
}

QList<Pdu> buildUcs2Pdus(const PhoneNumber& to, const QString& smsCentre, const QString& text, int reference)
{
    QList<Pdu> pdus;
    const bool concatenated = text.size() > SingleUcs2Chars;
    const int per = concatenated ? PartUcs2Chars : SingleUcs2Chars;
    const int parts = concatenated ? int((text.size() + per - 1) / per) : 1;
    for (int part = 0; part < parts; ++part) {
        const QByteArray ud = ucs2Hex(text.mid(qsizetype(part) * per, per));
        QByteArray header;
        if (concatenated)
            header = "050003" + hexOctet(reference) + hexOctet(parts) + hexOctet(part + 1);
        // SMS-SUBMIT, relative validity period (4 days), user data header when concatenated.
        const QByteArray first = hexOctet(0x11 | (concatenated ? 0x40 : 0));
        const QByteArray tpdu = first + "00" + addressField(to) + "00" + "08" + "AA"
            + hexOctet(int((header.size() + ud.size()) / 2)) + header + ud;
        pdus.append({centreField(smsCentre) + tpdu, int(tpdu.size() / 2)});
    }
    return pdus;
}

} // namespace taviro::sms
