#include "SqlReportStore.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"
#include "Transaction.h"

namespace taviro {

namespace {
QVariant key(qint64 id)
{
    return QVariant::fromValue(id);
}
} // namespace

SqlReportStore::SqlReportStore(const DatabaseConnector& conn) : m_conn(conn) {}

Result<qint64> SqlReportStore::store(const ReceivedReport& report)
{
    if (report.lines.isEmpty())
        return Result<qint64>::failure(QStringLiteral("melding zonder alarmregels van melder '%1' niet opgeslagen")
                                           .arg(report.melderAlias));
    for (const ReceivedLine& line : report.lines)
        if ((line.melderAlias.isEmpty() ? report.melderAlias : line.melderAlias).trimmed().isEmpty())
            return Result<qint64>::failure(QStringLiteral("melding zonder OS-nummer niet opgeslagen"));

    Transaction tx(m_conn);
    if (Status s = tx.begin(); !s)
        return Result<qint64>::failure(s.error());
    auto id = storeInTransaction(report);
    if (!id)
        return id; // rolled back by the transaction's destructor
    if (Status s = tx.commit(); !s)
        return Result<qint64>::failure(s.error());
    return id;
}

Result<qint64> SqlReportStore::storeInTransaction(const ReceivedReport& report)
{
    const Dialect d = m_conn.dialect();
    const QDateTime received = report.receivedAt;
    auto meldingId = m_conn.insert(
        QStringLiteral("INSERT INTO meldingen (melding_date, bemand, %1, seen) VALUES (?, ?, ?, ?)")
            .arg(m_conn.id(QStringLiteral("show"))),
        {sql::dateValue(received, d), sql::boolValue(false), sql::boolValue(true), sql::boolValue(false)});
    if (!meldingId)
        return meldingId;

    QHash<QString, qint64> melders; // one lookup per transmitter in the report
    for (const ReceivedLine& line : report.lines) {
        const QString alias = line.melderAlias.isEmpty() ? report.melderAlias : line.melderAlias;
        qint64 melderId = melders.value(alias, 0);
        if (melderId == 0) {
            const QString naam = line.melderAlias.isEmpty() ? report.melderNaam : line.melderNaam;
            auto m = melderFor(alias, naam);
            if (!m)
                return m;
            melderId = *m;
            melders.insert(alias, melderId);
        }
        auto point = pointFor(melderId, line);
        if (!point)
            return Result<qint64>::failure(point.error());

        const QDateTime when = line.date.isValid() ? line.date : received;
        // The line copies the point's state as it is now, so a later change of
        // the point does not rewrite history.
        auto lineId = m_conn.insert(
            QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, flank, actief, %1, "
                           "%2, uitmelden) VALUES (?, ?, ?, 0, ?, ?, ?, ?, ?)")
                .arg(m_conn.id(QStringLiteral("24uurs")), m_conn.id(QStringLiteral("date"))),
            {key(*meldingId), key(melderId), key(point->id), QVariant(line.flank), sql::boolValue(point->actief),
             sql::boolValue(point->uurs24), sql::dateValue(when, d), sql::boolValue(false)});
        if (!lineId)
            return lineId;
        if (point->uurs24) {
            // A check-in: the controller is alive, so the watchdog starts counting again.
            Status s = m_conn.exec(QStringLiteral("UPDATE alarmen SET %1 = ?, tolate = ? WHERE id = ?")
                                       .arg(m_conn.id(QStringLiteral("date"))),
                                   {sql::dateValue(when, d), sql::boolValue(false), key(point->id)});
            if (!s)
                return Result<qint64>::failure(s.error());
        }
    }
    return meldingId;
}

Result<qint64> SqlReportStore::melderFor(const QString& alias, const QString& naam)
{
    auto found = m_conn.scalar(QStringLiteral("SELECT id FROM melders WHERE alias = ? ORDER BY id LIMIT 1"),
                               {sql::textValue(alias)});
    if (!found)
        return Result<qint64>::failure(found.error());
    if (!found->isNull())
        return sql::toLong(*found);
    // A transmitter nobody configured yet: [new] tells the console to show it in its tree.
    return m_conn.insert(QStringLiteral("INSERT INTO melders (alias, naam, actief, %1, uitmeld, weekmelder, jaarmelder, "
                                        "deleted) VALUES (?, ?, ?, ?, 0, 0, 0, ?)")
                             .arg(m_conn.id(QStringLiteral("new"))),
                         {sql::textValue(alias), sql::textValue(naam.isEmpty() ? alias : naam), sql::boolValue(true),
                          sql::boolValue(true), sql::boolValue(false)});
}

Result<SqlReportStore::Point> SqlReportStore::pointFor(qint64 melderId, const ReceivedLine& line)
{
    auto q = m_conn.query(QStringLiteral("SELECT id, actief, %1 FROM alarmen WHERE melder_id = ? AND functie = ? "
                                         "ORDER BY deleted, id LIMIT 1")
                              .arg(m_conn.id(QStringLiteral("24uurs"))),
                          {key(melderId), sql::textValue(line.functie)});
    if (!q)
        return Result<Point>::failure(q.error());
    if (q->next())
        return Point{sql::toLong(q->value(0)), sql::toBool(q->value(1)), sql::toBool(q->value(2))};
    q->finish();
    auto id = m_conn.insert(QStringLiteral("INSERT INTO alarmen (melder_id, functie, omschrijving, actief, %1, tolate, "
                                           "uitmeldtype, rooster_id, deleted) VALUES (?, ?, ?, ?, ?, ?, 0, 0, ?)")
                                .arg(m_conn.id(QStringLiteral("24uurs"))),
                            {key(melderId), sql::textValue(line.functie), sql::textValue(line.omschrijving),
                             sql::boolValue(true), sql::boolValue(false), sql::boolValue(false),
                             sql::boolValue(false)});
    if (!id)
        return Result<Point>::failure(id.error());
    return Point{*id, true, false};
}

} // namespace taviro
