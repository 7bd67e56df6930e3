#include "Watchdog.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "SqlValues.h"
#include "Transaction.h"

namespace taviro {

Watchdog::Watchdog(const DatabaseConnector& conn, const Clock& clock, EventLog& log)
    : m_conn(conn), m_clock(clock), m_log(log)
{
}

QList<qint64> Watchdog::check24uurs()
{
    QList<qint64> reports;
    auto q = m_conn.query(
        QStringLiteral("SELECT id, melder_id, %1 FROM alarmen WHERE %2 = ? AND actief = ? AND "
                       "tolate = ? AND deleted = ? ORDER BY id")
            .arg(m_conn.id(QStringLiteral("date")), m_conn.id(QStringLiteral("24uurs"))),
        {sql::boolValue(true), sql::boolValue(true), sql::boolValue(false), sql::boolValue(false)});
    if (!q) {
        m_log.writeLog(QStringLiteral("24-uurscontrole: alarmpunten niet leesbaar: ") + q.error(),
                       1);
        return reports;
    }
    QDateTime now = m_clock.now();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    QList<std::pair<qint64, qint64>> late;
    while (q->next()) {
        const QDateTime last = sql::toDate(q->value(2));
        // A point that never checked in has nothing to be late against.
        if (last.isValid() && last.addMSecs(kLimitMsecs) < now)
            late.append({sql::toLong(q->value(1)), sql::toLong(q->value(0))});
    }
    q->finish();
    for (const auto& [melderId, alarmId] : late)
        if (const qint64 id = createLateReport(melderId, alarmId); id != 0)
            reports.append(id);
    return reports;
}

qint64 Watchdog::createLateReport(qint64 melderId, qint64 alarmId)
{
    const Dialect d = m_conn.dialect();
    const QDateTime now = m_clock.now();
    Transaction tx(m_conn);
    Status s = tx.begin();
    Result<qint64> melding = Result<qint64>::failure(s.error());
    if (s) {
        // Stations sharing the database all run this check. The claim only
        // succeeds for a point nobody marked late since our pass read it;
        // whoever changes no row leaves the report to the station that did.
        auto claim = m_conn.query(QStringLiteral("UPDATE alarmen SET tolate = ? WHERE id = ? AND tolate = ?"),
                                  {sql::boolValue(true), sql::keyValue(alarmId), sql::boolValue(false)});
        s = Status::from(claim);
        if (s && claim->numRowsAffected() != 1) {
            m_log.writeLog(QStringLiteral("24-uurscontrole: alarmpunt %1 is al als te laat gemeld").arg(alarmId), 1);
            return 0; // rolled back by the transaction
        }
        if (s)
            melding = m_conn.insert(
                QStringLiteral(
                    "INSERT INTO meldingen (melding_date, bemand, %1, seen) VALUES (?, ?, ?, ?)")
                    .arg(m_conn.id(QStringLiteral("show"))),
                {sql::dateValue(now, d), sql::boolValue(false), sql::boolValue(true),
                 sql::boolValue(false)});
        if (s && melding) {
            s = Status::from(m_conn.insert(
                QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, "
                               "uitmeld_id, flank, %1, actief, "
                               "%2, uitmelden) VALUES (?, ?, ?, 0, 1, ?, ?, ?, ?)")
                    .arg(m_conn.id(QStringLiteral("date")), m_conn.id(QStringLiteral("24uurs"))),
                {sql::keyValue(*melding), sql::keyValue(melderId), sql::keyValue(alarmId), sql::dateValue(now, d),
                 sql::boolValue(true), sql::boolValue(false), sql::boolValue(false)}));
        }
        if (s && melding)
            s = tx.commit();
    }
    if (!s || !melding) {
        m_log.writeLog(
            QStringLiteral("24-uurscontrole: melding voor alarmpunt %1 niet opgeslagen: %2")
                .arg(alarmId)
                .arg(!s ? s.error() : melding.error()),
            0);
        return 0;
    }
    return *melding;
}

} // namespace taviro
