#include "AlarmMailParser.h"

#include "MimeText.h"

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

// "Key: value" or "Key = value": the key is what comes before the first
// separator, 1 to 40 characters once trimmed. A plain search rather than a
// pattern, so no line costs more than its length.
bool splitKeyValue(const QString& line, QString& key, QString& value)
{
    qsizetype separator = -1;
    for (qsizetype i = 0; i < line.size(); ++i)
        if (line.at(i) == QLatin1Char(':') || line.at(i) == QLatin1Char('=')) {
            separator = i;
            break;
        }
    if (separator < 0)
        return false;
    key = line.left(separator).trimmed();
    if (key.isEmpty() || key.size() > 40)
        return false;
    value = line.mid(separator + 1).trimmed();
    return true;
}

} // namespace

ParsedAlarmMail parseAlarmMail(const QByteArray& rawMail, const QDateTime& receivedAt)
{
    ParsedAlarmMail parsed;
    const MailText mail = extractText(rawMail);
    parsed.subject = mail.subject;
    parsed.sender = mail.sender;
    parsed.ignoredBytes = mail.ignoredBytes;
    auto fail = [&](const QString& why) {
        parsed.ok = false;
        parsed.problem = why;
        parsed.report = {};
        return parsed;
    };
    if (!mail.found)
        return fail(QStringLiteral("geen tekst in de mail"));

    ReceivedReport& report = parsed.report;
    report.receivedAt = receivedAt;
    // Fields written before the first "Functie" belong to the first line only.
    ReceivedLine firstLineFields;
    ReceivedLine* current = nullptr;

    for (const QString& line : mail.text.split(QLatin1Char('\n'))) {
        if (line.size() > 2000)
            continue; // no key line is this long; do not let it cost time
        QString rawKey, value;
        if (!splitKeyValue(line, rawKey, value))
            continue;
        const Key key = keyOf(rawKey);
        ReceivedLine& target = current ? *current : firstLineFields;
        switch (key) {
        case Key::None:
            break;
        case Key::Melder:
            // An empty number names no transmitter, as a missing one does.
            if (value.isEmpty())
                return fail(QStringLiteral("geen melder genoemd"));
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
            // More lines than a transmitter's report can hold: refused as a
            // whole, as the serial receiver refuses such a report.
            if (report.lines.size() == MaxAlarmLines)
                return fail(QStringLiteral("meer dan %1 alarmregels").arg(MaxAlarmLines));
            report.lines.append(report.lines.isEmpty() ? firstLineFields : ReceivedLine{});
            current = &report.lines.last();
            current->functie = value;
            break;
        case Key::Omschrijving:
            target.omschrijving = value;
            break;
        case Key::Flank: {
            const int flank = flankOf(value);
            if (flank < 0)
                return fail(QStringLiteral("onbekende flank \"%1\"").arg(value.left(40)));
            target.flank = flank;
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
    for (ReceivedLine& l : report.lines) {
        if (isFutureDate(l.date, receivedAt))
            parsed.futureDates << QStringLiteral("%1 (functie %2)")
                                      .arg(l.date.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss")), l.functie);
        l.date = storedLineDate(l, receivedAt);
    }
    parsed.ok = true;
    return parsed;
}

} // namespace taviro::alarmemail
