#include "StatementCache.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSqlError>

namespace taviro {

Result<QSqlQuery*> StatementCache::run(const QString& sql, const QVariantList& binds)
{
    auto it = m_queries.find(sql);
    if (it == m_queries.end()) {
        QSqlQuery q(m_conn.database());
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            return Result<QSqlQuery*>::failure(describeSqlError(q.lastError()));
        it = m_queries.insert(sql, q);
    }
    QSqlQuery& q = *it;
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec()) {
        const QString error = describeSqlError(q.lastError());
        q.finish();
        return Result<QSqlQuery*>::failure(error);
    }
    return &q;
}

Status StatementCache::begin()
{
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
