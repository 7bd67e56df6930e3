#include "MessageComposer.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSqlQuery>

namespace taviro {

namespace {

const QString kLate = QStringLiteral("Regelaar heeft zich niet op tijd gemeld!");
const QString kCrlf = QStringLiteral("\r\n");
// escalatie.niveau of the acknowledgement notice.
constexpr qint64 kNoticeLevel = 3;

QString edge(qint64 flank)
{
    return flank != 0 ? QStringLiteral("Op") : QStringLiteral("Af");
}

} // namespace

QString trimAddress(const QString& s)
{
    qsizetype b = 0, e = s.size();
    auto blank = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

MessageComposer::MessageComposer(const DatabaseConnector& conn) : m_conn(conn) {}

std::optional<QList<MessageComposer::Line>> MessageComposer::linesOf(qint64 id,
                                                                     EmailMode mode) const
{
    // A dispatch finds its lines through the link table: meldindex.uitmeld_id
    // names only one of the recipients a line went to.
    const QString columns =
        QStringLiteral(
            "SELECT melders.naam, melders.alias, melders.adres, melders.plaats, alarmen.functie, "
            "alarmen.%1, alarmen.omschrijving, meldindex.flank ")
            .arg(m_conn.id(QStringLiteral("24uurs")));
    const QString joins = QStringLiteral("INNER JOIN melders ON meldindex.melder_id = melders.id "
                                         "INNER JOIN alarmen ON meldindex.alarm_id = alarmen.id ");
    const QString sql =
        mode == EmailMode::Dispatch
            ? columns +
                  QStringLiteral("FROM uitmeldlink INNER JOIN meldindex ON meldindex.id = "
                                 "uitmeldlink.meldindex_id ") +
                  joins +
                  QStringLiteral(
                      "WHERE uitmeldlink.uitmeld_id = ? ORDER BY melders.alias, meldindex.id")
            : columns + QStringLiteral("FROM meldindex ") + joins +
                  QStringLiteral("WHERE meldindex.id = ? ORDER BY melders.alias");
    QList<Line> lines;
    auto q = m_conn.query(sql, {QVariant::fromValue(id)});
    if (!q)
        return std::nullopt;
    while (q->next()) {
        Line l;
        l.naam = sql::toText(q->value(0));
        l.alias = sql::toText(q->value(1));
        l.adres = sql::toText(q->value(2));
        l.plaats = sql::toText(q->value(3));
        l.functie = sql::toText(q->value(4));
        l.uurs24 = sql::toBool(q->value(5));
        l.omschrijving = sql::toText(q->value(6));
        l.flank = sql::toLong(q->value(7));
        lines.append(l);
    }
    return lines;
}

MessageComposer::Preface MessageComposer::prefaceOf(qint64 uitmeldId) const
{
    // A database no workstation of this version has opened lacks the table:
    // then nothing escalated, and the message goes out as it always did.
    auto q = m_conn.query(QStringLiteral("SELECT escalatie.nietbevestigd, escalatie.niveau FROM escalatieuitmeld INNER JOIN escalatie "
                                         "ON escalatie.melding_id = escalatieuitmeld.melding_id AND escalatie.niveau = "
                                         "escalatieuitmeld.niveau WHERE escalatieuitmeld.uitmeld_id = ?"),
                          {QVariant::fromValue(uitmeldId)});
    if (!q || !q->next())
        return {};
    return {sql::toText(q->value(0)), sql::toLong(q->value(1))};
}

std::optional<QString> MessageComposer::composeSmsText(qint64 uitmeldId) const
{
    const auto lines = linesOf(uitmeldId, EmailMode::Dispatch);
    if (!lines)
        return std::nullopt;
    const Preface preface = prefaceOf(uitmeldId);
    if (preface.level == kNoticeLevel)
        return lines->isEmpty() ? QString() : preface.text;
    const QString& escalation = preface.text;
    // An escalation says so first, in a piece of its own, so the pieces
    // after it still each start with their transmitter's header.
    QString first;
    if (!escalation.isEmpty()) {
        first = escalation + QLatin1Char('\r');
        if (first.size() % kSmsPieceLength != 0)
            first += QString(kSmsPieceLength - first.size() % kSmsPieceLength, QLatin1Char(' '));
    }
    QList<SmsGroup> groups;
    QString previousAlias;
    for (const Line& l : *lines) {
        if (groups.isEmpty() || l.alias != previousAlias) {
            groups.append({QStringLiteral("> ") + l.naam + QLatin1Char(' ') + l.alias +
                               QLatin1Char(' ') + l.adres + QLatin1Char(' ') + l.plaats +
                               QLatin1Char('\r'),
                           {}});
            previousAlias = l.alias;
        }
        groups.last().lines.append((l.uurs24 ? kLate + QLatin1Char(' ') : QString()) + l.functie +
                                   QLatin1Char(' ') + l.omschrijving + QLatin1Char(' ') +
                                   edge(l.flank) + QLatin1Char('\r'));
    }
    return lines->isEmpty() ? QString() : first + packSms(groups);
}

QString MessageComposer::packSms(const QList<SmsGroup>& groups)
{
    QString text;
    for (const SmsGroup& g : groups) {
        const qsizetype header = g.header.size();
        QString seg;
        for (qsizetype i = 0; i < g.lines.size(); ++i) {
            seg += g.lines[i];
            const bool last = i == g.lines.size() - 1;
            // A piece already past 145 characters keeps its group's further lines:
            // a new piece would not make it fit either.
            const bool full = !last &&
                              header + seg.size() + g.lines[i + 1].size() > kSmsPieceLength &&
                              header + seg.size() <= kSmsPieceLength;
            if (!last && !full)
                continue;
            const QString piece = g.header + seg;
            text += piece;
            if (piece.size() % kSmsPieceLength != 0)
                text += QString(kSmsPieceLength - piece.size() % kSmsPieceLength, QLatin1Char(' '));
            seg.clear();
        }
    }
    return text;
}

QString MessageComposer::subjectTemplate() const
{
    auto v = m_conn.scalar(QStringLiteral("SELECT mailsubject FROM settings ORDER BY id LIMIT 1"));
    return v ? sql::toText(*v) : QString();
}

ComposedEmail MessageComposer::composeEmail(qint64 id, EmailMode mode,
                                            const QString& subjectTemplate) const
{
    return build(linesOf(id, mode).value_or(QList<Line>{}), subjectTemplate);
}

std::optional<ComposedEmail> MessageComposer::composeDispatchEmail(qint64 uitmeldId) const
{
    auto subject =
        m_conn.scalar(QStringLiteral("SELECT mailsubject FROM settings ORDER BY id LIMIT 1"));
    const auto lines = linesOf(uitmeldId, EmailMode::Dispatch);
    if (!subject || !lines)
        return std::nullopt;
    ComposedEmail mail = build(*lines, sql::toText(*subject));
    const Preface preface = prefaceOf(uitmeldId);
    if (preface.level == kNoticeLevel) {
        mail.subject = QStringLiteral("Bevestigd: ") + mail.subject;
        mail.body = preface.text + kCrlf;
    } else if (!preface.text.isEmpty()) {
        mail.subject = QStringLiteral("ESCALATIE ") + mail.subject;
        mail.body = preface.text + kCrlf + mail.body;
    }
    return mail;
}

ComposedEmail MessageComposer::build(const QList<Line>& lines, const QString& subjectTemplate)
{
    ComposedEmail mail{subjectTemplate, {}};
    if (lines.isEmpty())
        return mail;
    const Line& first = lines.first();
    mail.subject.replace(QStringLiteral("%MELDER%"), first.naam + QLatin1Char(' ') + first.alias,
                         Qt::CaseInsensitive);
    mail.subject.replace(QStringLiteral("%ADRES%"), first.adres, Qt::CaseInsensitive);
    mail.subject.replace(QStringLiteral("%PLAATS%"), first.plaats, Qt::CaseInsensitive);

    // Fixed-width labels so the values line up in a plain-text mail reader.
    QString& body = mail.body;
    QString previousAlias;
    bool firstGroup = true;
    for (const Line& l : lines) {
        if (firstGroup || l.alias != previousAlias) {
            if (firstGroup)
                body += kCrlf;
            body += QStringLiteral("MELDER") + kCrlf + QStringLiteral("Naam         : ") + l.naam +
                    kCrlf + QStringLiteral("OS-nummer    : ") + l.alias + kCrlf;
            if (!l.adres.isEmpty())
                body += QStringLiteral("Adres        : ") + l.adres + kCrlf;
            body += kCrlf + QStringLiteral("MELDING(EN)") + kCrlf;
            previousAlias = l.alias;
            firstGroup = false;
        }
        if (l.uurs24)
            body += kLate + kCrlf;
        body += QStringLiteral("Functie      : ") + l.functie + kCrlf +
                QStringLiteral("Omschrijving : ") + l.omschrijving + kCrlf +
                QStringLiteral("Flank        : ") + edge(l.flank) + kCrlf + kCrlf;
    }
    return mail;
}

} // namespace taviro
