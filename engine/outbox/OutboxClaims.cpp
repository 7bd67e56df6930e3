#include "OutboxClaims.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSqlQuery>

namespace taviro::outbox {

OutboxClaims::OutboxClaims(const DatabaseConnector& conn, QString owner, int leaseSeconds)
    : m_conn(conn), m_owner(std::move(owner)), m_leaseSeconds(leaseSeconds)
{
}

QString OutboxClaims::ownerName(const QString& host, qint64 pid)
{
    return QStringLiteral("%1 %2").arg(host).arg(pid);
}

Result<std::optional<OutboxClaims::Claimed>> OutboxClaims::claimNext()
{
    using R = Result<std::optional<Claimed>>;
    const QString now = sql::serverNowSeconds(m_conn.dialect());
    const QString due = QStringLiteral("status = 0 AND volgende <= %1 AND claimtot < %1").arg(now);
    // Another sender may take a candidate between the look and the claim;
    // the claim's own condition decides, and the next candidate is tried.
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto look = m_conn.scalar(QStringLiteral("SELECT MIN(id) FROM mailwachtrij WHERE %1").arg(due));
        if (!look)
            return R::failure(look.error());
        if (look->isNull())
            return std::optional<Claimed>();
        auto q = m_conn.query(QStringLiteral("UPDATE mailwachtrij SET claim = ?, claimtot = %1 + ? WHERE id = ? AND %2 "
                                             "RETURNING %3, %1")
                                  .arg(now, due, rowColumns()),
                              {sql::textValue(m_owner), sql::keyValue(m_leaseSeconds), sql::keyValue(sql::toLong(*look))});
        if (!q)
            return R::failure(q.error());
        if (q->next()) {
            Claimed c{rowFrom(*q), sql::toLong(q->value(18))};
            q->finish();
            return std::optional<Claimed>(std::move(c));
        }
    }
    return std::optional<Claimed>(); // a busy moment: the next round looks again
}

Result<bool> OutboxClaims::finish(const QString& set, QVariantList binds, qint64 id)
{
    binds << sql::keyValue(id) << sql::textValue(m_owner);
    auto q = m_conn.query(
        QStringLiteral("UPDATE mailwachtrij SET %1, claim = '', claimtot = 0 WHERE id = ? AND claim = ? AND status = 0")
            .arg(set),
        binds);
    if (!q)
        return Result<bool>::failure(q.error());
    return q->numRowsAffected() > 0;
}

Result<bool> OutboxClaims::markSent(qint64 id)
{
    return finish(QStringLiteral("status = 1, verzonden = %1").arg(sql::serverNowSeconds(m_conn.dialect())), {}, id);
}

Result<bool> OutboxClaims::markFailed(qint64 id, const QString& reason)
{
    return finish(QStringLiteral("status = 2, pogingen = pogingen + 1, reden = ?"), {sql::textValue(reason)}, id);
}

Result<bool> OutboxClaims::postpone(qint64 id, const QString& reason, qint64 firstFailure, int delaySeconds)
{
    return finish(QStringLiteral("pogingen = pogingen + 1, reden = ?, eerstefout = ?, volgende = %1 + ?")
                      .arg(sql::serverNowSeconds(m_conn.dialect())),
                  {sql::textValue(reason), sql::keyValue(firstFailure), sql::keyValue(delaySeconds)}, id);
}

Result<int> OutboxClaims::releaseLeftovers(const QString& host, const std::function<bool(qint64 pid)>& alive)
{
    auto q = m_conn.query(QStringLiteral("SELECT id, claim FROM mailwachtrij WHERE status = 0 AND claim <> ''"));
    if (!q)
        return Result<int>::failure(q.error());
    QList<std::pair<qint64, QString>> leftovers;
    const QString prefix = host + QLatin1Char(' ');
    while (q->next()) {
        const QString claim = sql::toText(q->value(1));
        if (!claim.startsWith(prefix))
            continue; // another machine's: its lease tells
        bool ok = false;
        const qint64 pid = claim.mid(prefix.size()).toLongLong(&ok);
        // Under our own name (a fresh process namespace hands out the same
        // number again) it cannot be in flight: this sender has just started.
        if (claim == m_owner || (ok && !alive(pid)))
            leftovers.append({sql::toLong(q->value(0)), claim});
    }
    q->finish();
    int released = 0;
    for (const auto& [id, claim] : leftovers) {
        auto u = m_conn.query(QStringLiteral("UPDATE mailwachtrij SET claim = '', claimtot = 0 WHERE id = ? AND claim = ?"),
                              {sql::keyValue(id), sql::textValue(claim)});
        if (!u)
            return Result<int>::failure(u.error());
        released += u->numRowsAffected();
    }
    return released;
}

Result<std::optional<qint64>> OutboxClaims::secondsUntilDue()
{
    using R = Result<std::optional<qint64>>;
    const QString now = sql::serverNowSeconds(m_conn.dialect());
    // A row another sender holds counts from the end of its lease: if that
    // sender dies, this one takes the mail over then.
    auto q = m_conn.scalar(QStringLiteral("SELECT MIN(CASE WHEN claimtot > volgende THEN claimtot + 1 ELSE volgende END) "
                                          "- %1 FROM mailwachtrij WHERE status = 0")
                               .arg(now));
    if (!q)
        return R::failure(q.error());
    if (q->isNull())
        return std::optional<qint64>();
    return std::optional<qint64>(std::max<qint64>(0, sql::toLong(*q)));
}

Result<int> OutboxClaims::purgeFinished(int days)
{
    auto q = m_conn.query(QStringLiteral("DELETE FROM mailwachtrij WHERE status <> 0 AND aangemaakt < %1 - ?")
                              .arg(sql::serverNowSeconds(m_conn.dialect())),
                          {sql::keyValue(qint64(days) * 86400)});
    if (!q)
        return Result<int>::failure(q.error());
    return q->numRowsAffected();
}

} // namespace taviro::outbox
