#include "Watchdog.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "SqlValues.h"
#include "Transaction.h"

namespace taviro {

namespace {
const QString kDuty = QStringLiteral("24uurscontrole");
} // namespace

Watchdog::Watchdog(const DatabaseConnector& conn, const Clock& clock, EventLog& log)
    : m_conn(conn), m_clock(clock), m_log(log), m_slots(conn, Workstation{})
{
}

bool Watchdog::isLate(const QDateTime& lastCheckIn, const QDateTime& now)
{
    // A point that never checked in has nothing to be late against.
    return lastCheckIn.isValid() && lastCheckIn.addMSecs(kLimitMsecs) < now;
}

QList<qint64> Watchdog::check24uurs()
{
    QList<qint64> reports;
    QDateTime now = m_clock.now();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const qint64 quarter = DutySlots::slotOf(now.toSecsSinceEpoch(), DutySlots::kQuarterSecs);
    auto last = m_slots.lastTaken(kDuty);
    if (!last) {
        m_log.writeLog(QStringLiteral("24-uurscontrole: ") + last.error(), 1);
        return reports;
    }
    if (*last && **last >= quarter)
        return reports; // the room checked at this mark already
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
    QList<std::pair<qint64, qint64>> late;
    while (q->next())
        if (isLate(sql::toDate(q->value(2)), now))
            late.append({sql::toLong(q->value(1)), sql::toLong(q->value(0))});
    q->finish();

    // The mark and its reports are one transaction: a workstation that dies
    // half-way leaves the mark free, and the next look does the check.
    Transaction tx(m_conn);
    Status s = tx.begin();
    auto mine = s ? m_slots.take(kDuty, quarter) : Result<bool>::failure(s.error());
    if (!mine || !*mine) {
        if (!mine)
            m_log.writeLog(QStringLiteral("24-uurscontrole: ") + mine.error(), 1);
        return reports;
    }
    for (const auto& [melderId, alarmId] : late) {
        auto id = lateReportIn(melderId, alarmId, now);
        if (!id) {
            m_log.writeLog(QStringLiteral("24-uurscontrole: melding voor alarmpunt %1 niet opgeslagen: %2")
                               .arg(alarmId)
                               .arg(id.error()),
                           0);
            return {}; // rolled back whole: the next look checks again
        }
        if (*id != 0)
            reports.append(*id);
    }
    if (s = tx.commit(); !s) {
        m_log.writeLog(QStringLiteral("24-uurscontrole niet vastgelegd: ") + s.error(), 0);
        return {};
    }
    return reports;
}

qint64 Watchdog::createLateReport(qint64 melderId, qint64 alarmId)
{
    Transaction tx(m_conn);
    Status s = tx.begin();
    auto melding = s ? lateReportIn(melderId, alarmId, m_clock.now()) : Result<qint64>::failure(s.error());
    if (melding && *melding != 0)
        s = tx.commit();
    if (!melding || !s) {
        m_log.writeLog(
            QStringLiteral("24-uurscontrole: melding voor alarmpunt %1 niet opgeslagen: %2")
                .arg(alarmId)
                .arg(!melding ? melding.error() : s.error()),
            0);
        return 0;
    }
    return *melding;
}

Result<qint64> Watchdog::lateReportIn(qint64 melderId, qint64 alarmId, const QDateTime& now)
{
    using R = Result<qint64>;
    const Dialect d = m_conn.dialect();
    // Read again inside the transaction (its row locked on PostgreSQL, the
    // whole database on SQLite): a check-in committed since the pass read
    // the point means it is on time after all.
    auto point = m_conn.query(QStringLiteral("SELECT %1, tolate FROM alarmen WHERE id = ?%2")
                                  .arg(m_conn.id(QStringLiteral("date")),
                                       d == Dialect::PostgreSQL ? QStringLiteral(" FOR UPDATE") : QString()),
                              {sql::keyValue(alarmId)});
    if (!point)
        return R::failure(point.error());
    const bool found = point->next();
    const QDateTime lastCheckIn = found ? sql::toDate(point->value(0)) : QDateTime();
    const bool alreadyLate = found && sql::toBool(point->value(1));
    point->finish();
    if (alreadyLate) {
        m_log.writeLog(QStringLiteral("24-uurscontrole: alarmpunt %1 is al als te laat gemeld").arg(alarmId), 1);
        return qint64(0);
    }
    if (!found || !isLate(lastCheckIn, now))
        return qint64(0);
    // Stations sharing the database may all have found the point late; the
    // one whose update changes the row reports it.
    auto claim = m_conn.query(QStringLiteral("UPDATE alarmen SET tolate = ? WHERE id = ? AND tolate = ?"),
                              {sql::boolValue(true), sql::keyValue(alarmId), sql::boolValue(false)});
    if (!claim)
        return R::failure(claim.error());
    if (claim->numRowsAffected() != 1)
        return qint64(0);
    auto melding = m_conn.insert(
        QStringLiteral("INSERT INTO meldingen (melding_date, bemand, %1, seen) VALUES (?, ?, ?, ?)")
            .arg(m_conn.id(QStringLiteral("show"))),
        {sql::dateValue(now, d), sql::boolValue(false), sql::boolValue(true), sql::boolValue(false)});
    if (!melding)
        return melding;
    if (Status s = Status::from(m_conn.insert(
            QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, "
                           "uitmeld_id, flank, %1, actief, "
                           "%2, uitmelden) VALUES (?, ?, ?, 0, 1, ?, ?, ?, ?)")
                .arg(m_conn.id(QStringLiteral("date")), m_conn.id(QStringLiteral("24uurs"))),
            {sql::keyValue(*melding), sql::keyValue(melderId), sql::keyValue(alarmId), sql::dateValue(now, d),
             sql::boolValue(true), sql::boolValue(false), sql::boolValue(false)}));
        !s)
        return R::failure(s.error());
    return melding;
}

} // namespace taviro
