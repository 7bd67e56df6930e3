#include "ActueelQuery.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSet>

namespace taviro {

namespace {

// One item per report with a line worth showing; `rest` narrows the reports
// and orders them, `binds` holds its values.
Result<QList<ActueelItem>> listReports(const DatabaseConnector& conn, const QString& rest,
                                       QVariantList binds)
{
    auto q = conn.query(
        QStringLiteral(
            "SELECT meldingen.id, meldingen.melding_date, meldingen.bemand, melders.naam, "
            "melders.adres FROM meldingen "
            "INNER JOIN meldindex ON meldingen.id = meldindex.melding_id "
            "INNER JOIN melders ON meldindex.melder_id = melders.id "
            "INNER JOIN alarmen ON meldindex.alarm_id = alarmen.id "
            "WHERE meldindex.actief = ? AND meldindex.%1 = ? AND melders.actief = ? "
            "AND meldingen.%2 = ? ")
                .arg(conn.id(QStringLiteral("24uurs")), conn.id(QStringLiteral("show"))) +
            rest,
        QVariantList{sql::boolValue(true), sql::boolValue(false), sql::boolValue(true),
                     sql::boolValue(true)} +
            binds);
    if (!q)
        return Result<QList<ActueelItem>>::failure(q.error());
    QList<ActueelItem> items;
    QSet<qint64> listed;
    while (q->next()) {
        const qint64 id = sql::toLong(q->value(0));
        if (listed.contains(id))
            continue; // a report with several qualifying lines is listed once
        listed.insert(id);
        items.append({id, sql::toDate(q->value(1)), sql::toBool(q->value(2)),
                      sql::toText(q->value(3)), sql::toText(q->value(4))});
    }
    return items;
}

} // namespace

Result<QList<ActueelItem>> loadActueel(const DatabaseConnector& conn)
{
    return listReports(conn,
                       QStringLiteral("ORDER BY meldingen.melding_date DESC, meldingen.id DESC, "
                                      "meldindex.id"),
                       {});
}

Result<QList<ActueelItem>> loadTakenInAbove(const DatabaseConnector& conn, qint64 above)
{
    return listReports(conn,
                       QStringLiteral("AND meldingen.seen = ? AND meldingen.id > ? "
                                      "ORDER BY meldingen.id, meldindex.id"),
                       {sql::boolValue(true), sql::keyValue(above)});
}

} // namespace taviro
