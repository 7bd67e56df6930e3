#include "ReportDetail.h"

#include "DatabaseConnector.h"
#include "Rows.h"
#include "SqlValues.h"

#include <QHash>

namespace taviro {

QString flankText(qint64 flank)
{
    return flank == 0 ? QStringLiteral("af") : QStringLiteral("op");
}

QString generalDateText(const QDateTime& dt)
{
    return dt.isValid() ? dt.toString(QStringLiteral("d-M-yyyy HH:mm:ss")) : QString();
}

namespace {

QString mailText(const std::optional<outbox::MailStatus>& mail)
{
    if (!mail)
        return QStringLiteral("E-mail aangeboden"); // handed to a mail sender of old; no more is known
    switch (*mail) {
    case outbox::MailStatus::Waiting: return QStringLiteral("E-mail in wachtrij");
    case outbox::MailStatus::Sent: return QStringLiteral("E-mail verzonden");
    case outbox::MailStatus::Failed: return QStringLiteral("E-mail mislukt");
    }
    return {};
}

} // namespace

QString DispatchState::stateText() const
{
    const QString state = ownStateText();
    if (escalatieNiveau == 3)
        return QStringLiteral("Bevestigingsbericht: ") + state;
    return escalatieNiveau > 0 ? QStringLiteral("Escalatie: ") + state : state;
}

QString DispatchState::ownStateText() const
{
    const QString when = QStringLiteral("dd-MM HH:mm");
    // Another recipient's reply settled this one too (with escalation on).
    if (bevestigtype == 2 && !ownAcknowledgement)
        return QStringLiteral("Bevestigd door %1 op %2").arg(bevestiger, bevestigdate.toString(when));
    if (bevestigtype == 1)
        return QStringLiteral("Bevestigd door %1 op %2").arg(bevestiger, bevestigdate.toString(when));
    if (bevestigtype == 2)
        return QStringLiteral("Bevestigd door ontvanger op %1").arg(bevestigdate.toString(when));
    if (bevestigtype == kClosedInBulk)
        return QStringLiteral("Gesloten door %1 op %2").arg(bevestiger, bevestigdate.toString(when));
    if (done) {
        switch (uitmeldtype) {
        case 1:
            // A recipient of SMS and e-mail: the SMS makes it an SMS dispatch.
            return mail ? QStringLiteral("SMS verzonden (%1x), %2").arg(pogingen).arg(mailText(mail).toLower())
                        : QStringLiteral("SMS verzonden (%1x)").arg(pogingen);
        case 2: return mailText(mail);
        default: return QStringLiteral("Gesloten zonder verzending");
        }
    }
    if (uitmeldtype == 2)
        return mailText(mail) + QStringLiteral(", SMS wacht");
    return QStringLiteral("Wacht op verzending");
}

namespace {

QString linesSql(const DatabaseConnector& c)
{
    // Booleans are compared against false: older programs stored true as -1.
    return QStringLiteral(
               "SELECT meldindex.id, meldingen.melding_date, melders.naam, melders.adres, melders.plaats, "
               "melders.land, melders.telnr, melders.alias, alarmen.functie, meldindex.flank, alarmen.omschrijving "
               "FROM meldingen INNER JOIN meldindex ON meldingen.id = meldindex.melding_id "
               "INNER JOIN melders ON meldindex.melder_id = melders.id "
               "INNER JOIN alarmen ON meldindex.alarm_id = alarmen.id "
               "WHERE meldingen.id = ? AND meldindex.actief <> ? AND melders.actief <> ? "
               "AND (meldindex.%1 = ? OR alarmen.tolate <> ?) ORDER BY meldindex.id")
        .arg(c.id(QStringLiteral("24uurs")));
}

// Each (line, dispatch) pair once: through the link table, or for lines taken
// in before it existed through meldindex.uitmeld_id.
QString dispatchSql(const DatabaseConnector& c)
{
    const QString columns = QStringLiteral(
                                "meldindex.id AS line, uitmeld.id AS uid, uitmeld.ontvanger_id, ontvangers.naam, "
                                "uitmeld.uitmeldtype, uitmeld.done, uitmeld.pogingen, uitmeld.%1, uitmeld.bevestigtype, "
                                "CASE uitmeld.bevestigtype WHEN 1 THEN gebruikers.naam WHEN 2 THEN bo.naam WHEN 3 THEN gebruikers.naam END, "
                                "uitmeld.bevestigdate, uitmeld.bevestiger, "
                                "(SELECT MAX(niveau) FROM escalatieuitmeld WHERE escalatieuitmeld.uitmeld_id = uitmeld.id)")
                                .arg(c.id(QStringLiteral("date")));
    const QString joins = QStringLiteral(
        "LEFT JOIN ontvangers ON ontvangers.id = uitmeld.ontvanger_id "
        "LEFT JOIN gebruikers ON gebruikers.id = uitmeld.bevestiger "
        "LEFT JOIN ontvangers bo ON bo.id = uitmeld.bevestiger ");
    return QStringLiteral("SELECT ") + columns
           + QStringLiteral(" FROM meldindex INNER JOIN uitmeldlink ON uitmeldlink.meldindex_id = meldindex.id "
                            "INNER JOIN uitmeld ON uitmeld.id = uitmeldlink.uitmeld_id ")
           + joins + QStringLiteral("WHERE meldindex.melding_id = ? AND uitmeld.ontvanger_id <> 0 UNION SELECT ")
           + columns + QStringLiteral(" FROM meldindex INNER JOIN uitmeld ON uitmeld.id = meldindex.uitmeld_id ") + joins
           + QStringLiteral("WHERE meldindex.melding_id = ? AND uitmeld.ontvanger_id <> 0 AND NOT EXISTS "
                            "(SELECT 1 FROM uitmeldlink WHERE uitmeldlink.meldindex_id = meldindex.id) "
                            "ORDER BY line, uid");
}

} // namespace

Result<MeldingDetail> loadMeldingDetail(const DatabaseConnector& conn, qint64 meldingId)
{
    using R = Result<MeldingDetail>;
    MeldingDetail detail;
    detail.meldingId = meldingId;
    const QVariant no = sql::boolValue(false);
    auto q = conn.query(linesSql(conn), {meldingId, no, no, no, no});
    if (!q)
        return R::failure(q.error());
    QHash<qint64, int> indexOfLine;
    while (q->next()) {
        if (detail.lines.isEmpty()) {
            detail.naam = sql::toText(q->value(2));
            detail.adres = sql::toText(q->value(3));
            detail.plaats = sql::toText(q->value(4));
            detail.land = sql::toText(q->value(5));
            detail.telnr = sql::toText(q->value(6));
            detail.alias = sql::toText(q->value(7));
        }
        DetailLine line;
        line.meldindexId = sql::toLong(q->value(0));
        line.meldingDate = sql::toDate(q->value(1));
        line.melderNaam = sql::toText(q->value(2));
        line.melderAlias = sql::toText(q->value(7));
        line.functie = sql::toText(q->value(8));
        line.flank = sql::toLong(q->value(9));
        line.omschrijving = sql::toText(q->value(10));
        indexOfLine.insert(line.meldindexId, int(detail.lines.size()));
        detail.lines.append(line);
    }
    if (detail.lines.isEmpty())
        return detail;

    auto d = conn.query(dispatchSql(conn), {meldingId, meldingId});
    if (!d)
        return R::failure(d.error());
    while (d->next()) {
        const auto it = indexOfLine.constFind(sql::toLong(d->value(0)));
        if (it == indexOfLine.constEnd())
            continue; // a line the operator does not get to see
        DispatchState s;
        s.uitmeldId = sql::toLong(d->value(1));
        s.ontvangerId = sql::toLong(d->value(2));
        s.ontvanger = sql::toText(d->value(3));
        s.uitmeldtype = sql::toLong(d->value(4));
        s.done = sql::toBool(d->value(5));
        s.pogingen = sql::toLong(d->value(6));
        s.date = sql::toDate(d->value(7));
        s.bevestigtype = sql::toLong(d->value(8));
        s.bevestiger = sql::toText(d->value(9));
        s.bevestigdate = sql::toDate(d->value(10));
        s.ownAcknowledgement = s.bevestigtype != 2 || sql::toLong(d->value(11)) == s.ontvangerId;
        s.escalatieNiveau = sql::toLong(d->value(12));
        detail.lines[*it].dispatches.append(s);
    }
    d->finish();

    QList<qint64> uitmeldIds;
    for (const DetailLine& line : std::as_const(detail.lines))
        for (const DispatchState& s : line.dispatches)
            uitmeldIds.append(s.uitmeldId);
    auto mails = outbox::dispatchMailStates(conn, uitmeldIds);
    if (!mails)
        return R::failure(mails.error());
    for (DetailLine& line : detail.lines)
        for (DispatchState& s : line.dispatches)
            if (const auto it = mails->constFind(s.uitmeldId); it != mails->constEnd())
                s.mail = *it;
    return detail;
}

} // namespace taviro
