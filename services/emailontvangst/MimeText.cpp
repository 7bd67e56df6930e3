#include "MimeText.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>

namespace taviro::alarmemail {

namespace {

// Deeper nesting than this is no dialler's doing; it only costs stack.
constexpr int MaxDepth = 8;

// A boundary is at most 70 characters; a longer one is no mail program's
// doing, and every search for it would cost its length again.
constexpr qsizetype MaxBoundary = 200;

// More parts than this is no alarm mail; a mail of millions of empty parts
// would otherwise cost memory for each.
constexpr int MaxParts = 1000;

// The subject is only for log lines; a mail header line ends at 998 characters.
constexpr qsizetype MaxSubjectBytes = 998;

struct Entity
{
    QHash<QByteArray, QByteArray> headers; // lower-case name → unfolded value (first occurrence)
    QByteArray body;
};

Entity parseEntity(const QByteArray& raw)
{
    Entity e;
    qsizetype end = -1, bodyStart = raw.size();
    const qsizetype crlf = raw.indexOf("\r\n\r\n");
    const qsizetype lf = raw.indexOf("\n\n");
    if (raw.startsWith("\r\n") || raw.startsWith('\n')) {
        end = 0;
        bodyStart = raw.startsWith("\r\n") ? 2 : 1;
    } else if (crlf >= 0 && (lf < 0 || crlf < lf)) {
        end = crlf;
        bodyStart = crlf + 4;
    } else if (lf >= 0) {
        end = lf;
        bodyStart = lf + 2;
    } else {
        end = raw.size();
    }
    QByteArray name, value;
    auto flush = [&] {
        if (!name.isEmpty() && !e.headers.contains(name))
            e.headers.insert(name, value.trimmed());
        name.clear();
        value.clear();
    };
    for (QByteArray line : raw.left(end).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty() && (line.at(0) == ' ' || line.at(0) == '\t')) {
            value += ' ' + line.trimmed(); // folded continuation
            continue;
        }
        flush();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0) {
            name = line.left(colon).trimmed().toLower();
            value = line.mid(colon + 1);
        }
    }
    flush();
    e.body = raw.mid(bodyStart);
    return e;
}

struct ContentType
{
    QByteArray type = "text/plain";
    QByteArray charset;
    QByteArray boundary;
};

QByteArray parameter(const QByteArray& header, const QByteArray& key)
{
    for (const QByteArray& piece : header.split(';')) {
        const qsizetype eq = piece.indexOf('=');
        if (eq < 0 || piece.left(eq).trimmed().toLower() != key)
            continue;
        QByteArray v = piece.mid(eq + 1).trimmed();
        if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return {};
}

ContentType contentType(const Entity& e)
{
    ContentType ct;
    const QByteArray h = e.headers.value("content-type");
    if (h.isEmpty())
        return ct;
    const QByteArray type = h.split(';').first().trimmed().toLower();
    if (type.contains('/'))
        ct.type = type;
    ct.charset = parameter(h, "charset").toLower();
    ct.boundary = parameter(h, "boundary");
    return ct;
}

QByteArray decodeTransfer(const Entity& e)
{
    const QByteArray cte = e.headers.value("content-transfer-encoding").trimmed().toLower();
    if (cte == "base64")
        return QByteArray::fromBase64(e.body); // tolerant: stray line ends and junk are skipped
    if (cte == "quoted-printable")
        return decodeQuotedPrintable(e.body);
    return e.body;
}

QList<QByteArray> splitMultipart(const QByteArray& body, const QByteArray& boundary)
{
    QList<QByteArray> parts;
    const QByteArray delimiter = "--" + boundary;
    qsizetype pos = body.startsWith(delimiter) ? 0 : body.indexOf("\n" + delimiter);
    while (pos >= 0 && parts.size() < MaxParts) {
        if (body.at(pos) == '\n')
            ++pos;
        const qsizetype afterDelimiter = pos + delimiter.size();
        if (body.mid(afterDelimiter, 2) == "--")
            break; // closing delimiter
        const qsizetype lineEnd = body.indexOf('\n', afterDelimiter);
        if (lineEnd < 0)
            break;
        // Two delimiters in a row enclose an empty part: `next` is then the
        // delimiter line's own line end, and the part must not run to the end.
        const qsizetype next = body.indexOf("\n" + delimiter, lineEnd);
        QByteArray part =
            body.mid(lineEnd + 1, next < 0 ? -1 : std::max<qsizetype>(0, next - lineEnd - 1));
        if (part.endsWith('\r'))
            part.chop(1);
        parts << part;
        pos = next;
    }
    return parts;
}

struct Found
{
    QString plain, html;
    bool hasPlain = false, hasHtml = false;
    qsizetype plainIgnored = 0, htmlIgnored = 0;
    int parts = 0;
};

// The part's text, cut to what an alarm mail can hold. The cut is made on
// the bytes; a character split by it is held back by the decoder, not
// mistaken for a wrong character set.
QString boundedText(const Entity& e, const ContentType& ct, qsizetype& ignored)
{
    QByteArray bytes = decodeTransfer(e);
    ignored = std::max<qsizetype>(0, bytes.size() - MaxTextBytes);
    if (ignored > 0)
        bytes.truncate(MaxTextBytes);
    return decodeCharset(bytes, ct.charset);
}

void collect(const QByteArray& raw, int depth, Found& found)
{
    if (depth > MaxDepth || (found.hasPlain && found.hasHtml) || ++found.parts > MaxParts)
        return;
    const Entity e = parseEntity(raw);
    const ContentType ct = contentType(e);
    if (ct.type.startsWith("multipart/")) {
        if (ct.boundary.isEmpty() || ct.boundary.size() > MaxBoundary)
            return;
        for (const QByteArray& part : splitMultipart(e.body, ct.boundary))
            collect(part, depth + 1, found);
        return;
    }
    if (e.headers.value("content-disposition").trimmed().toLower().startsWith("attachment"))
        return;
    if (ct.type == "text/plain" && !found.hasPlain) {
        found.plain = boundedText(e, ct, found.plainIgnored);
        found.hasPlain = true;
    } else if (ct.type == "text/html" && !found.hasHtml) {
        found.html = boundedText(e, ct, found.htmlIgnored);
        found.hasHtml = true;
    }
}

QString normaliseLineEnds(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

QByteArray decodeQuotedPrintable(const QByteArray& data, bool headerStyle)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (headerStyle && c == '_') {
            out += ' ';
        } else if (c == '=' && i + 1 < data.size()) {
            if (data.at(i + 1) == '\n') { // soft line break
                i += 1;
            } else if (data.at(i + 1) == '\r' && i + 2 < data.size() && data.at(i + 2) == '\n') {
                i += 2;
            } else if (i + 2 < data.size() && hexValue(data.at(i + 1)) >= 0 &&
                       hexValue(data.at(i + 2)) >= 0) {
                out += char(hexValue(data.at(i + 1)) * 16 + hexValue(data.at(i + 2)));
                i += 2;
            } else {
                out += c; // a lone '=' is kept as written
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString decodeCharset(const QByteArray& data, const QByteArray& charset)
{
    QByteArray name = charset.trimmed().toLower();
    // Mails that call themselves Latin-1 are in practice often Windows-1252,
    // which agrees on every byte Latin-1 defines. Without a charset (or with
    // "us-ascii" over 8-bit text) the bytes themselves decide below.
    if (name == "iso-8859-1" || name == "latin1")
        name = "windows-1252";
    if (!name.isEmpty() && name != "us-ascii" && name != "utf-8" && name != "utf8") {
        QStringDecoder decoder(name.constData());
        if (decoder.isValid()) {
            const QString text = decoder.decode(data);
            if (!decoder.hasError())
                return text;
        }
    }
    // UTF-8 when it is valid UTF-8, else the Western code page.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    QStringDecoder western("windows-1252");
    return western.isValid() ? QString(western.decode(data)) : QString::fromLatin1(data);
}

QString decodeHeader(const QByteArray& value)
{
    static const QRegularExpression word(
        QStringLiteral("=\\?([^?\\s]+)\\?([BbQq])\\?([^?\\s]*)\\?="));
    const QString text = QString::fromLatin1(value.left(MaxSubjectBytes));
    QString out;
    qsizetype last = 0;
    bool previousWasWord = false;
    auto it = word.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString between = text.mid(last, m.capturedStart() - last);
        // White space between two encoded words is not part of the text.
        if (!(previousWasWord && between.trimmed().isEmpty()))
            out += decodeCharset(between.toLatin1(), "utf-8");
        QByteArray charset = m.captured(1).toLatin1();
        charset = charset.left(
            charset.indexOf('*') < 0 ? charset.size() : charset.indexOf('*')); // RFC 2231 language
        const QByteArray payload = m.captured(3).toLatin1();
        const QByteArray bytes = m.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0
                                     ? QByteArray::fromBase64(payload)
                                     : decodeQuotedPrintable(payload, true);
        out += decodeCharset(bytes, charset);
        last = m.capturedEnd();
        previousWasWord = true;
    }
    out += decodeCharset(text.mid(last).toLatin1(), "utf-8");
    return out.simplified();
}

MailText extractText(const QByteArray& rawMail)
{
    MailText result;
    const Entity top = parseEntity(rawMail);
    result.subject = decodeHeader(top.headers.value("subject"));
    result.sender = decodeHeader(top.headers.value("from"));
    Found found;
    collect(rawMail, 0, found);
    if (found.hasPlain && !found.plain.trimmed().isEmpty()) {
        result.text = normaliseLineEnds(found.plain);
        result.ignoredBytes = found.plainIgnored;
        result.found = true;
    } else if (found.hasHtml) {
        result.text = normaliseLineEnds(htmlToText(found.html));
        result.fromHtml = true;
        result.ignoredBytes = found.htmlIgnored;
        result.found = true;
    }
    return result;
}

} // namespace taviro::alarmemail
