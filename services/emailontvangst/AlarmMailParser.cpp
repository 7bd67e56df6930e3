#include "AlarmMailParser.h"

#include "MimeText.h"

#include <QRegularExpression>

namespace taviro::alarmemail {

namespace {

enum class Key
{
    None,
    Melder,
    Naam,
    Functie,
    Omschrijving,
    Flank,
    Datum
};

// Keys are compared without case, blanks, hyphens or accents, so "OS-nummer",
// "os nummer" and "OSnummer" are one key.
QString foldKey(const QString& key)
{
    QString folded;
    for (QChar c : key.normalized(QString::NormalizationForm_D))
        if (c.isLetterOrNumber() && c.category() != QChar::Mark_NonSpacing)
            folded += c.toLower();
    return folded;
}

Key keyOf(const QString& rawKey)
{
    const QString k = foldKey(rawKey);
    if (k == QLatin1String("melder") || k == QLatin1String("osnummer") ||
        k == QLatin1String("zender") || k == QLatin1String("meldernummer") ||
        k == QLatin1String("transmitter"))
        return Key::Melder;
    if (k == QLatin1String("naam") || k == QLatin1String("meldernaam") ||
        k == QLatin1String("locatie"))
        return Key::Naam;
    if (k == QLatin1String("functie") || k == QLatin1String("functiecode") ||
        k == QLatin1String("punt") || k == QLatin1String("alarmpunt"))
        return Key::Functie;
    if (k == QLatin1String("omschrijving") || k == QLatin1String("tekst"))
        return Key::Omschrijving;
    if (k == QLatin1String("flank") || k == QLatin1String("status") ||
        k == QLatin1String("toestand"))
        return Key::Flank;
    if (k == QLatin1String("datum") || k == QLatin1String("datumtijd"))
        return Key::Datum;
    return Key::None;
}

// 1: the alarm came up, 0: it went off, -1: not an edge we know.
int flankOf(const QString& value)
{
    const QString v = foldKey(value);
    static const QStringList up{
        QStringLiteral("1"),  QStringLiteral("op"), QStringLiteral("aan"), QStringLiteral("alarm"),
        QStringLiteral("in"), QStringLiteral("on"), QStringLiteral("komt")};
    static const QStringList down{QStringLiteral("0"),        QStringLiteral("af"),
                                  QStringLiteral("uit"),      QStringLiteral("herstel"),
                                  QStringLiteral("hersteld"), QStringLiteral("rust"),
                                  QStringLiteral("off"),      QStringLiteral("gaat")};
    if (up.contains(v))
        return 1;
    if (down.contains(v))
        return 0;
    return -1;
}

QDateTime dateOf(const QString& value)
{
    static const QStringList formats{
        QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("dd-MM-yyyy HH:mm:ss"), QStringLiteral("dd-MM-yyyy HH:mm"),
        QStringLiteral("d-M-yyyy H:mm:ss"),    QStringLiteral("d-M-yyyy H:mm"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss")};
    const QString v = value.simplified();
    for (const QString& f : formats) {
        const QDateTime t = QDateTime::fromString(v, f);
        if (t.isValid())
            return t;
    }
    return {};
}

} // namespace

ParsedAlarmMail parseAlarmMail(const QByteArray& rawMail, const QDateTime& receivedAt)
{
    ParsedAlarmMail parsed;
    const MailText mail = extractText(rawMail);
    parsed.subject = mail.subject;
    auto fail = [&](const QString& why) {
        parsed.ok = false;
        parsed.problem = why;
        parsed.report = {};
        return parsed;
    };
    if (!mail.found)
        return fail(QStringLiteral("geen tekst in de mail"));

    static const QRegularExpression keyValue(
        QStringLiteral("^\\s*([^:=]{1,40}?)\\s*[:=]\\s*(.*?)\\s*$"));
    ReceivedReport& report = parsed.report;
    report.receivedAt = receivedAt;
    ReceivedLine pendingLineFields; // fields written before the first "Functie"
    bool pendingHasFlank = false;
    ReceivedLine* current = nullptr;

    for (const QString& line : mail.text.split(QLatin1Char('\n'))) {
        if (line.size() > 2000)
            continue; // no key line is this long; do not let it cost time
        const QRegularExpressionMatch m = keyValue.match(line);
        if (!m.hasMatch())
            continue;
        const Key key = keyOf(m.captured(1));
        const QString value = m.captured(2).trimmed();
        ReceivedLine& target = current ? *current : pendingLineFields;
        switch (key) {
        case Key::None:
            break;
        case Key::Melder:
            if (value.isEmpty())
                return fail(QStringLiteral("melder zonder nummer"));
            if (!report.melderAlias.isEmpty() && report.melderAlias != value)
                return fail(QStringLiteral("meer dan één melder (%1 en %2)")
                                .arg(report.melderAlias, value));
            report.melderAlias = value;
            break;
        case Key::Naam:
            if (report.melderNaam.isEmpty())
                report.melderNaam = value;
            break;
        case Key::Functie:
            if (value.isEmpty())
                return fail(QStringLiteral("functie zonder code"));
            report.lines.append(pendingLineFields);
            current = &report.lines.last();
            current->functie = value;
            if (!pendingHasFlank)
                current->flank = 1;
            break;
        case Key::Omschrijving:
            target.omschrijving = value;
            break;
        case Key::Flank: {
            const int flank = flankOf(value);
            if (flank < 0)
                return fail(QStringLiteral("onbekende flank \"%1\"").arg(value.left(40)));
            target.flank = flank;
            if (!current)
                pendingHasFlank = true;
            break;
        }
        case Key::Datum:
            target.date = dateOf(value);
            if (!target.date.isValid())
                return fail(QStringLiteral("onleesbare datum \"%1\"").arg(value.left(40)));
            break;
        }
    }
    if (report.melderAlias.isEmpty())
        return fail(QStringLiteral("geen melder genoemd"));
    if (report.lines.isEmpty())
        return fail(QStringLiteral("geen functie genoemd"));
    for (ReceivedLine& l : report.lines)
        if (!l.date.isValid())
            l.date = receivedAt;
    parsed.ok = true;
    return parsed;
}

} // namespace taviro::alarmemail
