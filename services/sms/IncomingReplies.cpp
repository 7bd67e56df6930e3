#include "IncomingReplies.h"

#include <QCryptographicHash>
#include <QMap>
#include <QRegularExpression>

namespace taviro::sms {

namespace {

// Splits "1,0,\"Jan\",23" on the commas outside quotes.
QStringList headerFields(const QString& header)
{
    QStringList fields;
    QString current;
    bool quoted = false;
    for (QChar c : header) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (c == QLatin1Char(',') && !quoted) {
            fields.append(current.trimmed());
            current.clear();
        } else
            current.append(c);
    }
    fields.append(current.trimmed());
    return fields;
}

bool isHex(const QByteArray& line)
{
    if (line.isEmpty())
        return false;
    for (char c : line)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

QString shown(const QByteArray& line)
{
    const QString text = QString::fromLatin1(line.left(40));
    return line.size() > 40 ? text + QStringLiteral("…") : text;
}

// What may follow the reply word without changing its meaning: blanks, a
// full stop or exclamation mark, and emoji with what builds them (skin
// tones, joiners, variation selectors, keycaps, flags' tags). Accents, the
// degree sign, a caret or backquote, a question mark or a word do change it:
// "OK^" or "OK°" is no answer anyone writes on purpose.
bool isDecoration(char32_t c)
{
    if (c == U'.' || c == U'!' || QChar::isSpace(c))
        return true;
    return (c >= 0x1f000 && c <= 0x1faff)     // pictographs, emoticons, skin tones, flags
           || (c >= 0x2600 && c <= 0x27bf)    // symbols and dingbats: ✅ ❤ ☺
           || (c >= 0x2b00 && c <= 0x2bff)    // ⭐ and other arrows and stars
           || (c >= 0x2300 && c <= 0x23ff)    // ⌚ ⏰
           || c == 0x200d || c == 0xfe0e || c == 0xfe0f || c == 0x20e3
           || (c >= 0xe0020 && c <= 0xe007f); // the tags of subdivision flags
}

} // namespace

QList<StoredMessage> parsePduList(const QList<QByteArray>& lines, QStringList* skipped, bool* textMode)
{
    if (textMode)
        *textMode = false;
    // The text form names the status in quotes ("REC UNREAD"); the PDU form by its number.
    static const QRegularExpression textHeader(QStringLiteral("^\\+CMGL:\\s*\\d+\\s*,\\s*\""));
    for (const QByteArray& line : lines)
        if (textHeader.match(QString::fromLatin1(line)).hasMatch()) {
            if (textMode)
                *textMode = true;
            return {};
        }
    QList<StoredMessage> messages;
    auto skip = [skipped](const QString& why) {
        if (skipped)
            skipped->append(why);
    };
    std::optional<StoredMessage> header;
    for (const QByteArray& line : lines) {
        if (line.startsWith("+CMGL:")) {
            if (header)
                skip(QStringLiteral("plaats %1 zonder PDU").arg(header->index));
            header.reset();
            const QStringList f = headerFields(QString::fromLatin1(line.mid(6)));
            StoredMessage m;
            bool indexOk = false, statusOk = false, lengthOk = false;
            m.index = f.value(0).toInt(&indexOk);
            m.status = f.value(1).toInt(&statusOk);
            m.tpduLength = f.size() >= 3 ? f.last().toInt(&lengthOk) : -1;
            if (indexOk && statusOk && lengthOk && m.index >= 0 && m.status >= 0 && m.status <= 3
                && m.tpduLength > 0 && m.tpduLength <= 200)
                header = m;
            else
                skip(QStringLiteral("onleesbare kopregel \"%1\"").arg(shown(line)));
        } else if (header && isHex(line)) {
            header->pdu = line;
            messages.append(*header);
            header.reset();
        } else {
            skip(QStringLiteral("onverwachte regel \"%1\"").arg(shown(line)));
            header.reset();
        }
    }
    if (header)
        skip(QStringLiteral("plaats %1 zonder PDU").arg(header->index));
    return messages;
}

StoreContents readStore(const QList<StoredMessage>& messages)
{
    StoreContents out;
    struct Part
    {
        int index;
        DeliverPdu pdu;
        QByteArray hex;
    };
    auto keyOf = [](const DeliverPdu& first, const QList<QByteArray>& pdus) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(first.sender.toUtf8());
        hash.addData(QByteArray(1, char(first.senderKind)));
        hash.addData(first.timestamp);
        for (const QByteArray& hex : pdus)
            hash.addData(QByteArray::fromHex(hex));
        return QStringLiteral("sms ") + QString::fromLatin1(hash.result().toHex());
    };
    QMap<QString, QList<Part>> longOnes; // ordered, so the outcome does not depend on hashing
    for (const StoredMessage& m : messages) {
        if (!isReceived(m))
            continue;
        QString why;
        const auto pdu = decodeDeliverPdu(m.pdu, m.tpduLength, &why);
        if (!pdu) {
            out.unreadable.append({m.index, m.pdu, why});
            continue;
        }
        if (pdu->parts <= 1) {
            out.complete.append({{m.index}, pdu->sender, pdu->senderKind, keyOf(*pdu, {m.pdu}), pdu->text, {}, 1, 1});
            continue;
        }
        const QString key = QStringLiteral("%1/%2/%3").arg(pdu->sender).arg(pdu->reference).arg(pdu->parts);
        longOnes[key].append({m.index, *pdu, m.pdu});
    }
    for (auto it = longOnes.cbegin(); it != longOnes.cend(); ++it) {
        const QList<Part>& parts = it.value();
        const int total = parts.first().pdu.parts;
        ReadMessage message{{}, parts.first().pdu.sender, parts.first().pdu.senderKind, {}, {}, it.key(), 0, total};
        QList<const Part*> byNumber(total + 1, nullptr);
        for (const Part& p : parts) {
            message.indexes.append(p.index); // a part that came twice goes with the rest
            if (!byNumber[p.pdu.part])
                byNumber[p.pdu.part] = &p;
        }
        QList<QByteArray> pdus;
        for (int n = 1; n <= total; ++n)
            if (byNumber[n]) {
                ++message.partsPresent;
                message.text += byNumber[n]->pdu.text;
                pdus.append(byNumber[n]->hex);
            }
        message.key = keyOf(byNumber[1] ? byNumber[1]->pdu : parts.first().pdu, pdus);
        (message.partsPresent == total ? out.complete : out.incomplete).append(message);
    }
    return out;
}

std::optional<ReplyWord> parseReply(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("^\\s*ok(?:é|e|ay)?(?:\\s+(\\d{1,9}))?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QList<uint> codePoints = text.normalized(QString::NormalizationForm_C).toUcs4();
    while (!codePoints.isEmpty() && isDecoration(char32_t(codePoints.back())))
        codePoints.removeLast();
    const auto m = word.match(QString::fromUcs4(reinterpret_cast<const char32_t*>(codePoints.constData()),
                                                codePoints.size()));
    if (!m.hasMatch())
        return std::nullopt;
    return ReplyWord{m.captured(1).isEmpty() ? 0 : m.captured(1).toLongLong()};
}

} // namespace taviro::sms
