#include "DeliveryRetry.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <algorithm>

namespace taviro {

namespace {
constexpr int kLongestPauseMinutes = 15;
} // namespace

DeliveryRetry::DeliveryRetry(const DatabaseConnector& conn, const Clock& clock, EventLog& log, QString station)
    : m_conn(conn), m_clock(clock), m_log(log), m_station(std::move(station))
{
}

QString DeliveryRetry::dueCondition()
{
    return QStringLiteral("NOT EXISTS (SELECT 1 FROM uitmeldretry WHERE uitmeldretry.uitmeld_id = "
                          "uitmeld.id AND uitmeldretry.next_try > ? AND uitmeldretry.station IN (?, ?))");
}

QVariantList DeliveryRetry::dueValues() const
{
    // '' is a pause that holds for every station.
    return {sql::dateValue(m_clock.now(), m_conn.dialect()), sql::textValue(QString()), sql::textValue(m_station)};
}

QString DeliveryRetry::failuresColumn()
{
    return QStringLiteral("(SELECT MAX(failures) FROM uitmeldretry WHERE uitmeldretry.uitmeld_id = "
                          "uitmeld.id)");
}

int DeliveryRetry::pauseMinutes(qint64 failures)
{
    if (failures >= 5)
        return kLongestPauseMinutes;
    return std::min(kLongestPauseMinutes, 1 << std::max<qint64>(0, failures - 1));
}

Status DeliveryRetry::forgetRecipient(const DatabaseConnector& conn, qint64 ontvangerId)
{
    return conn.exec(QStringLiteral("DELETE FROM uitmeldretry WHERE uitmeld_id IN "
                                    "(SELECT id FROM uitmeld WHERE ontvanger_id = ? AND done = ?)"),
                     {sql::keyValue(ontvangerId), sql::boolValue(false)});
}

void DeliveryRetry::endThisStationsPauses()
{
    const QVariant now = sql::dateValue(m_clock.now(), m_conn.dialect());
    if (Status s = m_conn.exec(QStringLiteral("UPDATE uitmeldretry SET next_try = ? WHERE station = ? AND next_try > ?"),
                               {now, sql::textValue(m_station), now});
        !s)
        m_log.writeLog(QStringLiteral("Pauzes na mislukte SMS-verzendingen niet beëindigd: %1").arg(s.error()), 1);
}

void DeliveryRetry::failed(qint64 uitmeldId, const QString& reason, const QString& logLine, Scope scope)
{
    const QVariant station = sql::textValue(scope == Scope::ThisStation ? m_station : QString());
    const QDateTime now = m_clock.now();
    bool news = true;
    Transaction tx(m_conn);
    Status s = tx.begin();
    qint64 failures = 0;
    if (s) {
        auto q = m_conn.query(
            QStringLiteral("SELECT reason, failures FROM uitmeldretry WHERE uitmeld_id = ? AND station = ? ORDER BY id"),
            {sql::keyValue(uitmeldId), station});
        if (!q) {
            s = Status::failure(q.error());
        } else {
            if (q->next()) {
                news = sql::toText(q->value(0)) != reason;
                failures = sql::toLong(q->value(1));
            }
            q->finish();
        }
    }
    ++failures;
    const QVariant next =
        sql::dateValue(now.addSecs(60LL * pauseMinutes(failures)), m_conn.dialect());
    if (s && failures == 1)
        s = m_conn.exec(QStringLiteral("INSERT INTO uitmeldretry (uitmeld_id, reason, failures, next_try, station) "
                                       "VALUES (?, ?, ?, ?, ?)"),
                        {sql::keyValue(uitmeldId), sql::textValue(reason), sql::keyValue(failures), next, station});
    else if (s)
        s = m_conn.exec(QStringLiteral("UPDATE uitmeldretry SET reason = ?, failures = ?, next_try = ? "
                                       "WHERE uitmeld_id = ? AND station = ?"),
                        {sql::textValue(reason), sql::keyValue(failures), next, sql::keyValue(uitmeldId), station});
    if (s)
        s = tx.commit();
    if (!s)
        m_log.writeLog(QStringLiteral("Uitmelding %1: mislukte verzending niet vastgelegd: %2")
                           .arg(uitmeldId)
                           .arg(s.error()),
                       1);
    // Every failure is in the file; the log tab hears of it when something changed.
    m_log.writeLog(logLine, news ? 0 : 1);
}

} // namespace taviro
