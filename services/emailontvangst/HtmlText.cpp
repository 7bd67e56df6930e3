#include "MimeText.h"

#include <QStringList>

#include <libxml/HTMLparser.h>

namespace taviro::alarmemail {

// One pass over the HTML, every character looked at a bounded number of
// times: whatever a sender puts in a mail (unclosed scripts, endless
// comments, a thousand open tags) costs time in proportion to its length.

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isTagNameChar(QChar c)
{
    return isAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

// Elements whose content is never text for a reader.
enum Hidden
{
    Script,
    Style,
    Head,
    HiddenCount
};

int hiddenOf(const QString& name)
{
    if (name == QLatin1String("script"))
        return Script;
    if (name == QLatin1String("style"))
        return Style;
    if (name == QLatin1String("head"))
        return Head;
    return -1;
}

bool breaksLine(const QString& name, bool closing)
{
    static const QStringList both{QStringLiteral("p"), QStringLiteral("div"), QStringLiteral("tr")};
    static const QStringList closingOnly{
        QStringLiteral("li"), QStringLiteral("h1"), QStringLiteral("h2"), QStringLiteral("h3"),
        QStringLiteral("h4"), QStringLiteral("h5"), QStringLiteral("h6")};
    return name == QLatin1String("br") || both.contains(name) ||
           (closing && closingOnly.contains(name));
}

// Every named entity of HTML 4 (&oacute;, &ndash;, &hellip;, ...), from
// libxml2's HTML parser, whose table is the standard's own.
QString namedEntity(const QString& name)
{
    const QByteArray latin = name.toLatin1();
    if (latin.isEmpty() || latin.contains('\0'))
        return {};
    // "apos" is XML's, not HTML 4's, but mail programs write it.
    if (latin == "apos")
        return QStringLiteral("'");
    const htmlEntityDesc* entity = htmlEntityLookup(reinterpret_cast<const xmlChar*>(latin.constData()));
    if (!entity)
        return {};
    // A no-break space separates words as a blank does.
    if (entity->value == 0xA0)
        return QStringLiteral(" ");
    const char32_t c = entity->value;
    return QString::fromUcs4(&c, 1);
}

// The entity at html[at] ('&'), decoded into `out`; returns the characters
// it took, 0 when it is no entity we know (the '&' is then text).
qsizetype decodeEntity(const QString& html, qsizetype at, QString& out)
{
    constexpr qsizetype Longest = 10; // "&#x10FFFF;" and every HTML 4 name ("&thetasym;") fit
    const qsizetype end = std::min(html.size(), at + Longest + 1);
    qsizetype semicolon = -1;
    for (qsizetype i = at + 1; i < end; ++i)
        if (html.at(i) == QLatin1Char(';')) {
            semicolon = i;
            break;
        }
    if (semicolon < at + 2)
        return 0;
    const QString name = html.mid(at + 1, semicolon - at - 1);
    if (name.startsWith(QLatin1Char('#'))) {
        const bool hex =
            name.size() > 1 && (name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X'));
        bool ok = false;
        const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return 0;
        const char32_t c = code;
        out += QString::fromUcs4(&c, 1);
        return semicolon - at + 1;
    }
    const QString text = namedEntity(name);
    if (text.isEmpty())
        return 0;
    out += text;
    return semicolon - at + 1;
}

// A table row of exactly two data cells whose first cell holds no separator
// is a key and its value ("<td>Melder</td><td>5015</td>"); the row is then
// written as "Melder: 5015". Header cells and wider tables stay as they are,
// so a column heading such as "Status" is never taken for a key.
class RowTracker
{
public:
    void rowStart(qsizetype outPos)
    {
        m_cells = 0;
        m_headerCell = false;
        m_firstCell = m_secondCell = outPos;
    }
    void cellStart(qsizetype outPos, bool header)
    {
        ++m_cells;
        m_headerCell = m_headerCell || header;
        if (m_cells == 1)
            m_firstCell = outPos;
        else if (m_cells == 2)
            m_secondCell = outPos;
    }
    void rowEnd(QString& out)
    {
        if (m_cells == 2 && !m_headerCell && m_secondCell <= out.size()) {
            const QString key = out.mid(m_firstCell, m_secondCell - m_firstCell).trimmed();
            if (!key.isEmpty() && !key.contains(QLatin1Char(':')) &&
                !key.contains(QLatin1Char('=')))
                out.insert(m_secondCell, QStringLiteral(": "));
        }
        m_cells = 0;
    }

private:
    int m_cells = 0;
    bool m_headerCell = false;
    qsizetype m_firstCell = 0, m_secondCell = 0;
};

// Position of the closing tag `</name` at or after `from`, -1 when absent.
qsizetype findClosing(const QString& html, qsizetype from, const QString& name)
{
    for (qsizetype i = html.indexOf(QLatin1String("</"), from); i >= 0;
         i = html.indexOf(QLatin1String("</"), i + 2)) {
        if (QStringView(html).mid(i + 2, name.size()).compare(name, Qt::CaseInsensitive) == 0 &&
            (i + 2 + name.size() == html.size() || !isTagNameChar(html.at(i + 2 + name.size()))))
            return i;
    }
    return -1;
}

} // namespace

QString htmlToText(const QString& html)
{
    QString out;
    out.reserve(html.size());
    RowTracker row;
    // Once a search for something found nothing, later searches for it would
    // find nothing either; remembering that keeps a mail full of unclosed
    // elements from being scanned to its end again and again.
    bool noMoreTagEnd = false;
    bool noClosing[HiddenCount] = {false, false, false};
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = html.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            out += QLatin1Char(' '); // HTML line ends are blanks; tags make the lines
            ++i;
            continue;
        }
        if (c == QLatin1Char('&')) {
            const qsizetype used = decodeEntity(html, i, out);
            if (used == 0)
                out += c;
            i += std::max<qsizetype>(used, 1);
            continue;
        }
        if (c != QLatin1Char('<') || i + 1 >= n || noMoreTagEnd) {
            out += c;
            ++i;
            continue;
        }
        const QChar next = html.at(i + 1);
        if (next == QLatin1Char('!') && html.mid(i + 2, 2) == QLatin1String("--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3; // an unclosed comment hides the rest, as in a browser
            continue;
        }
        const bool closing = next == QLatin1Char('/');
        const qsizetype nameStart = i + (closing ? 2 : 1);
        if (nameStart >= n || !(isAsciiLetter(html.at(nameStart)) || next == QLatin1Char('!') ||
                                next == QLatin1Char('?'))) {
            out += c; // "a < b" is text
            ++i;
            continue;
        }
        const qsizetype tagEnd = html.indexOf(QLatin1Char('>'), nameStart);
        if (tagEnd < 0) {
            noMoreTagEnd = true;
            out += c;
            ++i;
            continue;
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < tagEnd && isTagNameChar(html.at(nameEnd)))
            ++nameEnd;
        const QString name = html.mid(nameStart, nameEnd - nameStart).toLower();
        i = tagEnd + 1;

        const int hidden = closing ? -1 : hiddenOf(name);
        if (hidden >= 0 && !noClosing[hidden]) {
            const qsizetype close = findClosing(html, i, name);
            if (close < 0) {
                // Never closed: only the tag goes, its content stays readable.
                noClosing[hidden] = true;
            } else {
                const qsizetype closeEnd = html.indexOf(QLatin1Char('>'), close);
                i = closeEnd < 0 ? n : closeEnd + 1;
            }
            continue;
        }
        if (name == QLatin1String("tr") || name == QLatin1String("table")) {
            row.rowEnd(out);
            if (!closing && name == QLatin1String("tr"))
                row.rowStart(out.size());
        }
        if (!closing && (name == QLatin1String("td") || name == QLatin1String("th"))) {
            out += QLatin1Char(' ');
            row.cellStart(out.size(), name == QLatin1String("th"));
        } else if (closing && (name == QLatin1String("td") || name == QLatin1String("th"))) {
            out += QLatin1Char(' ');
        }
        if (breaksLine(name, closing))
            out += QLatin1Char('\n');
    }
    row.rowEnd(out);
    return out;
}

} // namespace taviro::alarmemail
