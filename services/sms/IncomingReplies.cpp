#include "IncomingReplies.h"

#include <QRegularExpression>

namespace taviro::sms {

namespace {

// Splits "1,\"REC UNREAD\",\"+316...\",,\"24/01/02,10:00:00+04\"" on the
// commas outside quotes.
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

} // namespace

QList<StoredMessage> parseMessageList(const QList<QByteArray>& lines)
{
    QList<StoredMessage> messages;
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("+CMGL:"))) {
            const QStringList f = headerFields(line.mid(6));
            bool ok = false;
            StoredMessage m;
            m.index = f.value(0).toInt(&ok);
            if (!ok || m.index < 0 || f.size() < 3) {
                messages.append({-1, {}, {}, {}}); // unreadable header: its text is skipped
                continue;
            }
            m.status = f.value(1);
            m.sender = f.value(2);
            messages.append(m);
        } else if (!messages.isEmpty() && messages.back().index >= 0) {
            QString& text = messages.back().text;
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + line;
        }
    }
    messages.removeIf([](const StoredMessage& m) { return m.index < 0; });
    return messages;
}

std::optional<ReplyWord> parseReply(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("^\\s*ok(?:\\s+(\\d{1,9}))?\\s*[.!]?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const auto m = word.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return ReplyWord{m.captured(1).isEmpty() ? 0 : m.captured(1).toLongLong()};
}

QString numberKey(const QString& number)
{
    QString digits;
    for (QChar c : number)
        if (c.isDigit() && c.unicode() < 0x80)
            digits.append(c);
    return digits.size() > 9 ? digits.right(9) : digits;
}

} // namespace taviro::sms
