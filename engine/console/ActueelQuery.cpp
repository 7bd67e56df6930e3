#include "ActueelQuery.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSet>

namespace taviro {

Result<QList<ActueelItem>> loadActueel(const DatabaseConnector& conn)
{
    auto q = conn.query(
        QStringLiteral(
            "SELECT meldingen.id, meldingen.melding_date, meldingen.bemand, melders.naam, "
            "melders.adres FROM meldingen "
            "INNER JOIN meldindex ON meldingen.id = meldindex.melding_id "
            "INNER JOIN melders ON meldindex.melder_id = melders.id "
            "INNER JOIN alarmen ON meldindex.alarm_id = alarmen.id "
            "WHERE meldindex.actief = ? AND meldindex.%1 = ? AND melders.actief = ? "
            "AND meldingen.%2 = ? ORDER BY meldingen.melding_date DESC, meldingen.id DESC, "
            "meldindex.id")
            .arg(conn.id(QStringLiteral("24uurs")), conn.id(QStringLiteral("show"))),
        {sql::boolValue(true), sql::boolValue(false), sql::boolValue(true), sql::boolValue(true)});
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

} // namespace taviro
