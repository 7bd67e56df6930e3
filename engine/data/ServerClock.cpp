#include "ServerClock.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QElapsedTimer>

namespace taviro {

QDateTime ServerClock::now() const
{
    return QDateTime::currentDateTime().addMSecs(m_offsetMsecs.load());
}

Status ServerClock::sync(const DatabaseConnector& conn)
{
    // The server answers in whole seconds: the middle of its second, taken
    // at the middle of the round trip, is within half a second of the truth.
    QElapsedTimer trip;
    trip.start();
    const qint64 asked = QDateTime::currentMSecsSinceEpoch();
    auto v = conn.scalar(QStringLiteral("SELECT ") + sql::serverNowSeconds(conn.dialect()));
    if (!v)
        return Status::failure(v.error());
    const qint64 here = asked + trip.elapsed() / 2;
    const qint64 there = sql::toLong(*v) * 1000 + 500;
    const qint64 offset = there - here;
    // Differences within a second are the server's rounding, not a wrong clock.
    m_offsetMsecs.store(std::llabs(offset) < 1000 ? 0 : offset);
    return {};
}

} // namespace taviro
