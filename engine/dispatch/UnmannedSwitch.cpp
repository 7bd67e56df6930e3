#include "UnmannedSwitch.h"

#include "Clock.h"
#include "Repositories.h"
#include "Transaction.h"
#include "UnmannedSchedule.h"

namespace taviro {

UnmannedSwitch::UnmannedSwitch(const DatabaseConnector& conn, const Clock& clock, const Workstation& self)
    : m_conn(conn), m_clock(clock), m_slots(conn, self)
{
    setWorkstation(self);
}

void UnmannedSwitch::setWorkstation(const Workstation& self)
{
    m_slots.setWorkstation(self);
    // Kept per console: each manned console goes unmanned itself.
    m_duty = QStringLiteral("onbemand ") + self.soort + QLatin1Char(' ') + self.naam;
}

std::optional<QDateTime> UnmannedSwitch::takeOwedSwitch(const QDateTime& mannedSince)
{
    auto settings = SettingsRepository(m_conn).load();
    if (!settings || !settings->has_value())
        return std::nullopt;
    auto last = m_slots.lastTaken(m_duty);
    if (!last)
        return std::nullopt;
    QDateTime from = mannedSince;
    if (*last && QDateTime::fromSecsSinceEpoch(**last) > from)
        from = QDateTime::fromSecsSinceEpoch(**last);
    const QList<QDateTime> owed = unmannedSwitchesBetween(**settings, from, m_clock.now());
    if (owed.isEmpty())
        return std::nullopt;
    // Several passed while the timer slept: going unmanned once covers them.
    Transaction tx(m_conn);
    Status s = tx.begin();
    auto mine = s ? m_slots.take(m_duty, owed.last().toSecsSinceEpoch()) : Result<bool>::failure(s.error());
    if (!mine || !*mine)
        return std::nullopt;
    if (!tx.commit())
        return std::nullopt;
    return owed.last();
}

} // namespace taviro
