#include "PendingDispatches.h"

#include "DatabaseConnector.h"
#include "Rows.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QSqlQuery>

namespace taviro {

namespace {
// Small enough to stay far below any database's limit on bound values, large
// enough that a thousand reports take only a few statements.
constexpr int kBatch = 250;
} // namespace

Result<QList<OpenMelding>> listOpenMeldingen(const DatabaseConnector& conn)
{
    // Driven from the open dispatches (an index on done), not from the whole
    // history of lines; the link table finds every recipient's dispatch.
    const QString columns = QStringLiteral(
        "SELECT meldingen.id, melders.naam, melders.adres, meldingen.melding_date, (SELECT COUNT(*) FROM "
        "escalatieuitmeld WHERE escalatieuitmeld.melding_id = meldingen.id AND escalatieuitmeld.niveau = 1) FROM uitmeld ");
    const QString tail = QStringLiteral(
        "INNER JOIN meldingen ON meldingen.id = meldindex.melding_id "
        "INNER JOIN melders ON melders.id = meldindex.melder_id WHERE uitmeld.done = ? ");
    const QString sqlText =
        columns
        + QStringLiteral("INNER JOIN uitmeldlink ON uitmeldlink.uitmeld_id = uitmeld.id "
                         "INNER JOIN meldindex ON meldindex.id = uitmeldlink.meldindex_id ")
        + tail + QStringLiteral("UNION ") + columns
        + QStringLiteral("INNER JOIN meldindex ON meldindex.uitmeld_id = uitmeld.id ") + tail
        + QStringLiteral("ORDER BY 4 DESC, 1 DESC");
    auto q = conn.query(sqlText, {sql::boolValue(false), sql::boolValue(false)});
    if (!q)
        return Result<QList<OpenMelding>>::failure(q.error());
    QList<OpenMelding> list;
    qint64 previous = 0;
    while (q->next()) {
        OpenMelding m{sql::toLong(q->value(0)), sql::toText(q->value(1)), sql::toText(q->value(2)),
                      sql::toDate(q->value(3)), sql::toLong(q->value(4)) > 0};
        if (m.meldingId == previous) // a report whose lines name two transmitters is listed once
            continue;
        previous = m.meldingId;
        list.append(m);
    }
    return list;
}

Result<int> closeOpenDispatches(const DatabaseConnector& conn, const QList<qint64>& meldingIds,
                                const BulkClose& by, const std::function<void(int, int)>& progress)
{
    using R = Result<int>;
    Transaction tx(conn);
    if (Status s = tx.begin(); !s)
        return R::failure(s.error());
    int closed = 0;
    const int total = int(meldingIds.size());
    for (int start = 0; start < total; start += kBatch) {
        const QList<qint64> batch = meldingIds.mid(start, kBatch);
        QStringList marks;
        QVariantList ids;
        for (qint64 id : batch) {
            marks << QStringLiteral("?");
            ids << id;
        }
        const QString in = marks.join(QLatin1Char(','));
        const QString ofReports =
            QStringLiteral("SELECT uitmeldlink.uitmeld_id FROM uitmeldlink INNER JOIN meldindex "
                           "ON meldindex.id = uitmeldlink.meldindex_id WHERE meldindex.melding_id IN (%1) "
                           "UNION SELECT uitmeld_id FROM meldindex WHERE melding_id IN (%1)")
                .arg(in);
        // The reports' locks first, as an escalation takes them, so an
        // escalation dispatch written a moment ago is closed too; then the
        // dispatches' own, so one a station is claiming right now is read
        // below with its claim, not skipped as neither pending nor claimed.
        // (On SQLite the write transaction already keeps all of them out.)
        if (Status s = conn.exec(QStringLiteral("UPDATE meldingen SET bemand = bemand WHERE id IN (%1)").arg(in), ids);
            !s)
            return R::failure(s.error());
        if (Status s = conn.exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = bevestigtype WHERE id IN (%1)")
                                     .arg(ofReports),
                                 ids + ids);
            !s)
            return R::failure(s.error());
        // Pending, or an SMS dispatch that is not acknowledged (repetition
        // would re-arm it), or one a station is sending right now. What was
        // acknowledged, e-mailed for good or is bookkeeping stays as it is.
        const QString sqlText =
            QStringLiteral("UPDATE uitmeld SET done = ?, bevestiger = ?, bevestigtype = ?, bevestigdate = ? "
                           "WHERE ontvanger_id <> 0 AND bevestiger = 0 AND bevestigtype = 0 AND "
                           "(done = ? OR uitmeldtype = 1 OR EXISTS (SELECT 1 FROM uitmeldclaim WHERE "
                           "uitmeldclaim.uitmeld_id = uitmeld.id)) AND id IN (%1)")
                .arg(ofReports);
        auto q = conn.query(sqlText, QVariantList{sql::boolValue(true), sql::keyValue(by.gebruikerId),
                                                  sql::keyValue(kClosedInBulk),
                                                  sql::dateValue(by.when, conn.dialect()), sql::boolValue(false)}
                                         + ids + ids);
        if (!q)
            return R::failure(q.error()); // rolled back: nothing is closed
        closed += q->numRowsAffected();
        // A closed dispatch no longer waits for a retry.
        if (Status s = conn.exec(QStringLiteral("DELETE FROM uitmeldretry WHERE uitmeld_id IN (%1)").arg(ofReports),
                                 ids + ids);
            !s)
            return R::failure(s.error());
        if (progress)
            progress(int(start + batch.size()), total);
    }
    if (Status s = tx.commit(); !s)
        return R::failure(s.error());
    return closed;
}

} // namespace taviro
