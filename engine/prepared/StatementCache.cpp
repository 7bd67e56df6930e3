#include "StatementCache.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSqlError>

namespace taviro {

Result<QSqlQuery*> StatementCache::run(const QString& sql, const QVariantList& binds)
{
    if (m_conn.lost())
        return Result<QSqlQuery*>::failure(QStringLiteral("de verbinding met de database is verbroken"));
    forgetIfRestored();
    auto it = m_queries.find(sql);
    if (it == m_queries.end()) {
        QSqlQuery q(m_conn.database());
        q.setForwardOnly(true);
        if (!q.prepare(sql)) {
            m_conn.noteFailure(q.lastError());
            return Result<QSqlQuery*>::failure(describeSqlError(q.lastError()));
        }
        it = m_queries.insert(sql, q);
    }
    QSqlQuery& q = *it;
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec()) {
        m_conn.noteFailure(q.lastError());
        const QString error = describeSqlError(q.lastError());
        q.finish();
        return Result<QSqlQuery*>::failure(error);
    }
    return &q;
}

void StatementCache::forgetIfRestored()
{
    if (m_generation == m_conn.generation())
        return;
    // A restored connection knows none of the statements prepared before.
    // Dropping them makes the driver try to free them there, which fails and
    // would spoil a transaction: so this happens before BEGIN, not after it.
    m_queries.clear();
    m_generation = m_conn.generation();
}

Status StatementCache::begin()
{
    forgetIfRestored();
    return exec(m_conn.dialect() == Dialect::SQLite ? QStringLiteral("BEGIN IMMEDIATE")
                                                    : QStringLiteral("BEGIN"));
}

Status StatementCache::commit()
{
    return exec(QStringLiteral("COMMIT"));
}

void StatementCache::rollback()
{
    (void)exec(QStringLiteral("ROLLBACK"));
}

Status StatementCache::exec(const QString& sql, const QVariantList& binds)
{
    // PostgreSQL prepares no transaction statements; they cost next to
    // nothing there anyway.
    if (binds.isEmpty() && m_conn.dialect() == Dialect::PostgreSQL)
        return m_conn.exec(sql);
    auto q = run(sql, binds);
    if (!q)
        return Status::failure(q.error());
    (*q)->finish();
    return {};
}

Result<int> StatementCache::update(const QString& sql, const QVariantList& binds)
{
    auto q = run(sql, binds);
    if (!q)
        return Result<int>::failure(q.error());
    const int n = (*q)->numRowsAffected();
    (*q)->finish();
    return n;
}

Result<qint64> StatementCache::insert(const QString& sql, const QVariantList& binds)
{
    if (m_conn.dialect() == Dialect::SQLite) {
        // SQLite collects RETURNING rows in a table of their own first: the
        // connection's last key costs a fraction of that, and intake writes
        // two dispatches for every report. The count guards against a write
        // that inserted nothing, which would leave the previous key there.
        auto q = run(sql, binds);
        if (!q)
            return Result<qint64>::failure(q.error());
        const int rows = (*q)->numRowsAffected();
        const QVariant key = (*q)->lastInsertId();
        (*q)->finish();
        if (rows != 1 || !key.isValid())
            return Result<qint64>::failure(QStringLiteral("databasefout: geen sleutel teruggekregen"));
        return sql::toLong(key);
    }
    auto q = run(sql + QStringLiteral(" RETURNING id"), binds);
    if (!q)
        return Result<qint64>::failure(q.error());
    const bool got = (*q)->next();
    const qint64 key = got ? sql::toLong((*q)->value(0)) : 0;
    (*q)->finish();
    if (!got)
        return Result<qint64>::failure(QStringLiteral("databasefout: geen sleutel teruggekregen"));
    return key;
}

Status StatementCache::rows(const QString& sql, const QVariantList& binds,
                            const std::function<void(const QSqlQuery&)>& row)
{
    auto q = run(sql, binds);
    if (!q)
        return Status::failure(q.error());
    while ((*q)->next())
        row(**q);
    (*q)->finish();
    return {};
}

} // namespace taviro
