#include "OverzichtBuilder.h"

#include "DatabaseConnector.h"
#include "Rows.h"
#include "SqlValues.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QXmlStreamWriter>

#include <algorithm>

namespace taviro {

namespace {

const QString kReportDateFormat = QStringLiteral("yyyy dd-MM HH:mm");
const QString kLineDateFormat = QStringLiteral("dd-MM HH:mm");

// Aliases of operators ("key0") and recipients ("key1"), deleted ones included,
// so an acknowledgement of years ago still shows who it was.
struct NameLookup
{
    QHash<qint64, QString> gebruikers;
    QHash<qint64, QString> ontvangers;
};

struct ReportRef
{
    qint64 id = 0;
    QVariant date;
    bool bemand = false;
};

// A stored moment in an overview's form. The text SQLite holds
// ("yyyy-MM-dd HH:mm:ss") is rearranged as text: a year of reports holds a
// quarter of a million moments, and every local QDateTime made or printed
// costs a look at the system's time-zone file. Anything else (PostgreSQL's
// timestamps, other text forms) goes the ordinary way.
QString overviewDate(const QVariant& v, bool withYear)
{
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s.size() == 19 && s[4] == QLatin1Char('-') && s[7] == QLatin1Char('-') && s[10] == QLatin1Char(' ')
            && s[13] == QLatin1Char(':') && s[16] == QLatin1Char(':')) {
            QString out = s.mid(8, 2) + QLatin1Char('-') + s.mid(5, 2) + QLatin1Char(' ') + s.mid(11, 5);
            return withYear ? s.left(4) + QLatin1Char(' ') + out : out;
        }
    }
    const QDateTime dt = sql::toDate(v);
    return dt.isValid() ? dt.toString(withYear ? kReportDateFormat : kLineDateFormat) : QString();
}

QString lineDate(const QVariant& v)
{
    return overviewDate(v, false);
}

bool hasDate(const QVariant& v)
{
    return !v.isNull() && !(v.typeId() == QMetaType::QString && v.toString().trimmed().isEmpty());
}

void fillLookup(const DatabaseConnector& conn, const QString& table, QHash<qint64, QString>& into)
{
    auto q = conn.query(QStringLiteral("SELECT id, alias FROM %1").arg(table));
    if (!q)
        return; // a missing name shows as empty text, the overview still comes
    while (q->next())
        into.insert(sql::toLong(q->value(0)), sql::toText(q->value(1)));
}

// Writes a text child the way the overview has always been laid out: four
// blanks before it and a line break after it, inside its parent.
void textChild(QXmlStreamWriter& w, const QString& name, const QString& text)
{
    w.writeCharacters(QStringLiteral("    "));
    w.writeTextElement(name, text);
    w.writeCharacters(QStringLiteral("\r\n"));
}

// The column order of lineSql().
enum LineColumn {
    kAlarmId, kFunctie, kOmschrijving, kMelderNaam, kMelderAlias, kFlank, kIndexActief, kUurs24, kLineDate,
    kUitmeldId, kOntvangerId, kUitmeldDate, kBevestiger, kBevestigtype, kBevestigdate, kEscalatie, kMailRank
};

// One row per line and recipient: the link table knows every dispatch a line
// went to; lines from before it existed fall back on meldindex.uitmeld_id. Left
// joins keep a line that went to nobody.
QString lineSql(const DatabaseConnector& c)
{
    return QStringLiteral(
               "SELECT alarmen.id, alarmen.functie, alarmen.omschrijving, melders.naam, melders.alias, "
               "meldindex.flank, meldindex.actief, meldindex.%1, meldindex.%2, uitmeld.id, uitmeld.ontvanger_id, "
               "uitmeld.%2, uitmeld.bevestiger, uitmeld.bevestigtype, uitmeld.bevestigdate, "
               "(SELECT MAX(niveau) FROM escalatieuitmeld WHERE escalatieuitmeld.uitmeld_id = uitmeld.id), "
               // What became of the dispatch's e-mail, when the outbox knows it:
               // 2 still waiting, 1 given up, 0 sent (the worst of its addresses).
               "(SELECT MAX(CASE mailwachtrij.status WHEN 0 THEN 2 WHEN 2 THEN 1 ELSE 0 END) FROM mailwachtrij "
               "WHERE mailwachtrij.uitmeld_id = uitmeld.id AND uitmeld.id <> 0) "
               "FROM meldindex INNER JOIN alarmen ON alarmen.id = meldindex.alarm_id "
               "INNER JOIN melders ON melders.id = alarmen.melder_id "
               "LEFT JOIN uitmeldlink ON uitmeldlink.meldindex_id = meldindex.id "
               "LEFT JOIN uitmeld ON uitmeld.id = COALESCE(uitmeldlink.uitmeld_id, meldindex.uitmeld_id) "
               "WHERE meldindex.melding_id = ? ORDER BY meldindex.id, uitmeld.id")
        .arg(c.id(QStringLiteral("24uurs")), c.id(QStringLiteral("date")));
}

QString uitgemeldOp(const QSqlQuery& q, const ReportRef& report)
{
    if (sql::toLong(q.value(kOntvangerId)) != 0)
        return lineDate(q.value(kUitmeldDate));
    if (!sql::toBool(q.value(kIndexActief)))
        return QStringLiteral("INACTIEF");
    if (sql::toBool(q.value(kUurs24)))
        return QStringLiteral("24 UURS OK");
    if (report.bemand)
        return QStringLiteral("BEMAND");
    const bool noDispatch = q.value(kUitmeldId).isNull();
    if (noDispatch || hasDate(q.value(kUitmeldDate)))
        return QStringLiteral("GEEN ONTV.");
    return {};
}

void writeAlarm(QXmlStreamWriter& w, const QSqlQuery& q, const ReportRef& report, const NameLookup& names)
{
    w.writeStartElement(QStringLiteral("alarm"));
    w.writeAttribute(QStringLiteral("id"), QString::number(sql::toLong(q.value(kAlarmId))));
    w.writeAttribute(QStringLiteral("date"), lineDate(q.value(kLineDate)));
    w.writeAttribute(QStringLiteral("flank"),
                     sql::toLong(q.value(kFlank)) == 0 ? QStringLiteral("af") : QStringLiteral("op"));
    const qint64 ontvanger = sql::toLong(q.value(kOntvangerId));
    const qint64 bevestiger = sql::toLong(q.value(kBevestiger));
    QString bevestigd;
    switch (sql::toLong(q.value(kBevestigtype))) {
    case 1: bevestigd = names.gebruikers.value(bevestiger); break;
    case 2: bevestigd = names.ontvangers.value(bevestiger); break;
    case kClosedInBulk: bevestigd = names.gebruikers.value(bevestiger) + QStringLiteral(" (gesloten)"); break;
    default: break;
    }
    textChild(w, QStringLiteral("functie"), sql::toText(q.value(kFunctie)));
    textChild(w, QStringLiteral("omschrijving"), sql::toText(q.value(kOmschrijving)));
    // A recipient told because nobody acknowledged in time is marked so.
    const qint64 level = sql::toLong(q.value(kEscalatie));
    const QString escalation = level == 3 ? QStringLiteral(" (bevestigingsbericht)")
                               : level > 0 ? QStringLiteral(" (escalatie)")
                                           : QString();
    textChild(w, QStringLiteral("uitgemeld"), ontvanger != 0 ? names.ontvangers.value(ontvanger) + escalation : QString());
    textChild(w, QStringLiteral("uitgemeldop"), uitgemeldOp(q, report));
    textChild(w, QStringLiteral("bevestigd"), bevestigd);
    textChild(w, QStringLiteral("bevestigdop"), lineDate(q.value(kBevestigdate)));
    // Only where the outbox knows the mail, so overviews of older times read as before.
    if (!q.value(kMailRank).isNull()) {
        static const QString kMailState[] = {QStringLiteral("verzonden"), QStringLiteral("mislukt"),
                                             QStringLiteral("in wachtrij")};
        textChild(w, QStringLiteral("email"), kMailState[std::clamp<qint64>(sql::toLong(q.value(kMailRank)), 0, 2)]);
    }
    w.writeEndElement();
}

} // namespace

OverzichtBuilder::OverzichtBuilder(const DatabaseConnector& conn, QString loggerPath)
    : m_conn(conn), m_loggerPath(std::move(loggerPath))
{
}

QString OverzichtBuilder::xmlPath() const
{
    return m_loggerPath + overzicht::kXmlFile;
}

Result<OverzichtStats> OverzichtBuilder::build(const OverzichtRequest& request, const Progress& progress)
{
    using R = Result<OverzichtStats>;
    NameLookup names;
    fillLookup(m_conn, QStringLiteral("gebruikers"), names.gebruikers);
    fillLookup(m_conn, QStringLiteral("ontvangers"), names.ontvangers);

    // From 00:00 of the first day up to, not including, 00:00 after the last.
    const QDateTime from(request.from, QTime(0, 0));
    const QDateTime until(request.to.addDays(1), QTime(0, 0));
    QList<ReportRef> reports;
    for (qint64 melderId : request.melderIds) {
        QString where = QStringLiteral("WHERE meldindex.melder_id = ? AND meldingen.melding_date >= ? "
                                       "AND meldingen.melding_date < ?");
        QVariantList binds{melderId, sql::dateValue(from, m_conn.dialect()), sql::dateValue(until, m_conn.dialect())};
        if (!request.includeInactive) {
            where += QStringLiteral(" AND meldindex.actief <> ?");
            binds << sql::boolValue(false);
        }
        auto q = m_conn.query(QStringLiteral("SELECT meldingen.id, meldingen.melding_date, meldingen.bemand "
                                             "FROM meldingen INNER JOIN meldindex ON meldindex.melding_id = meldingen.id ")
                                  + where + QStringLiteral(" ORDER BY meldingen.melding_date DESC, meldingen.id DESC"),
                              binds);
        if (!q)
            return R::failure(QStringLiteral("Het overzicht kan niet worden opgebouwd: %1").arg(q.error()));
        qint64 previous = 0;
        while (q->next()) {
            const ReportRef ref{sql::toLong(q->value(0)), q->value(1), sql::toBool(q->value(2))};
            if (ref.id == previous) // one row per line of the same report
                continue;
            previous = ref.id;
            reports.append(ref);
        }
    }

    if (!QDir().mkpath(m_loggerPath))
        return R::failure(QStringLiteral("De map %1 kan niet worden aangemaakt; het overzicht is niet opgeslagen.")
                              .arg(QDir::toNativeSeparators(m_loggerPath)));
    QSaveFile file(xmlPath());
    if (!file.open(QIODevice::WriteOnly))
        return R::failure(QStringLiteral("Het overzicht kan niet worden opgeslagen in %1: %2")
                              .arg(QDir::toNativeSeparators(xmlPath()), file.errorString()));
    // The declaration and the stylesheet instruction read exactly as browsers
    // and older tools have always found them.
    file.write("<?xml version='1.0' encoding='UTF-8'?>");
    QXmlStreamWriter w(&file);
    w.writeProcessingInstruction(QStringLiteral("xml-stylesheet"),
                                 QStringLiteral("type='text/xsl' href='%1'").arg(request.stylesheet));
    w.writeStartElement(QStringLiteral("overzicht"));
    // The period the operator asked for: the reports alone cannot tell it, an
    // overview may hold none or be sorted per transmitter.
    w.writeAttribute(QStringLiteral("van"), request.from.toString(Qt::ISODate));
    w.writeAttribute(QStringLiteral("tot"), request.to.toString(Qt::ISODate));

    OverzichtStats stats;
    QSqlQuery lines(m_conn.database());
    lines.setForwardOnly(true);
    if (!lines.prepare(lineSql(m_conn)))
        return R::failure(QStringLiteral("Het overzicht kan niet worden opgebouwd: %1")
                              .arg(describeSqlError(lines.lastError())));
    for (int i = 0; i < reports.size(); ++i) {
        const ReportRef& report = reports[i];
        lines.bindValue(0, report.id);
        if (!lines.exec())
            continue; // one unreadable report does not cost the whole overview
        bool started = false;
        while (lines.next()) {
            // A check-in of a point out of service says nothing to anyone.
            if (sql::toBool(lines.value(kUurs24)) && !sql::toBool(lines.value(kIndexActief)))
                continue;
            if (!started) {
                w.writeStartElement(QStringLiteral("melding"));
                w.writeAttribute(QStringLiteral("id"), QString::number(report.id));
                w.writeAttribute(QStringLiteral("date"), overviewDate(report.date, true));
                w.writeAttribute(QStringLiteral("bemand"), report.bemand ? QStringLiteral("true") : QStringLiteral("false"));
                w.writeAttribute(QStringLiteral("alias"), sql::toText(lines.value(kMelderAlias)));
                w.writeAttribute(QStringLiteral("naam"), sql::toText(lines.value(kMelderNaam)));
                started = true;
                ++stats.meldingen;
            }
            writeAlarm(w, lines, report, names);
            ++stats.alarms;
        }
        lines.finish();
        if (started)
            w.writeEndElement();
        if (progress && !progress(i + 1, int(reports.size()))) {
            file.cancelWriting();
            return R::failure(QStringLiteral("Het overzicht is afgebroken."));
        }
    }

    for (qint64 melderId : request.melderIds) {
        auto q = m_conn.query(QStringLiteral("SELECT naam, alias, adres, plaats FROM melders WHERE id = ?"), {melderId});
        if (!q || !q->next())
            continue;
        w.writeStartElement(QStringLiteral("melder"));
        w.writeAttribute(QStringLiteral("id"), QString::number(melderId));
        textChild(w, QStringLiteral("naam"), sql::toText(q->value(0)));
        textChild(w, QStringLiteral("alias"), sql::toText(q->value(1)));
        textChild(w, QStringLiteral("adres"), sql::toText(q->value(2)));
        textChild(w, QStringLiteral("plaats"), sql::toText(q->value(3)));
        w.writeEndElement();
    }
    w.writeEndElement();
    if (w.hasError() || !file.commit())
        return R::failure(QStringLiteral("Het overzicht kan niet worden opgeslagen in %1: %2")
                              .arg(QDir::toNativeSeparators(xmlPath()), file.errorString()));
    stats.xmlPath = xmlPath();
    return stats;
}

} // namespace taviro
