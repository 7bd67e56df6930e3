#include "DutySlots.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

namespace taviro {

DutySlots::DutySlots(const DatabaseConnector& conn, Workstation self) : m_conn(conn), m_self(std::move(self)) {}

Result<bool> DutySlots::take(const QString& duty, qint64 slotStart) const
{
    // The unique key decides, not an earlier read: of two workstations that
    // both saw the slot free, the second one's insert changes nothing.
    auto q = m_conn.query(QStringLiteral("INSERT INTO taakslot (taak, slot, station, startid) VALUES (?, ?, ?, ?) "
                                         "ON CONFLICT (taak, slot) DO NOTHING"),
                          {sql::textValue(duty), sql::keyValue(slotStart), sql::textValue(m_self.naam),
                           sql::textValue(m_self.startId)});
    if (!q)
        return Result<bool>::failure(q.error());
    return q->numRowsAffected() == 1;
}

Result<std::optional<qint64>> DutySlots::lastTaken(const QString& duty) const
{
    using R = Result<std::optional<qint64>>;
    auto v = m_conn.scalar(QStringLiteral("SELECT MAX(slot) FROM taakslot WHERE taak = ?"), {sql::textValue(duty)});
    if (!v)
        return R::failure(v.error());
    if (v->isNull())
        return std::optional<qint64>();
    return std::optional<qint64>(sql::toLong(*v));
}

Status DutySlots::forgetBefore(const QString& duty, qint64 slotStart) const
{
    return m_conn.exec(QStringLiteral("DELETE FROM taakslot WHERE taak = ? AND slot < ?"),
                       {sql::textValue(duty), sql::keyValue(slotStart)});
}

} // namespace taviro
