#pragma once

#include "Result.h"

#include <QHash>
#include <QSqlQuery>
#include <QVariantList>

#include <functional>

namespace taviro {

class DatabaseConnector;

// Statements on the alarm path, prepared once per connection and run again
// with new values: intake and report storage run the same dozen statements
// for every report, and preparing them anew each time costs more than the
// writes themselves. Must not outlive its connector.
class StatementCache
{
public:
    explicit StatementCache(const DatabaseConnector& conn) : m_conn(conn) {}

    Status exec(const QString& sql, const QVariantList& binds = {});
    // Rows affected by an UPDATE or DELETE.
    Result<int> update(const QString& sql, const QVariantList& binds = {});
    // An INSERT; returns the key the database gave the new row.
    Result<qint64> insert(const QString& sql, const QVariantList& binds);
    // Calls `row` for every row; the statement is reset afterwards so it holds
    // no read snapshot into the next transaction.
    Status rows(const QString& sql, const QVariantList& binds,
                const std::function<void(const QSqlQuery&)>& row);

    // The transaction statements too are prepared once: on the alarm path
    // they run twice per report.
    Status begin();
    Status commit();
    void rollback();

private:
    Result<QSqlQuery*> run(const QString& sql, const QVariantList& binds);
    void forgetIfRestored();

    const DatabaseConnector& m_conn;
    QHash<QString, QSqlQuery> m_queries;
    quint64 m_generation = 0; // of the connection the statements were prepared on
};

// Writes that belong together, on a StatementCache's connection: started
// with BEGIN IMMEDIATE on SQLite so a second writer waits for the lock up
// front, rolled back unless committed.
class CachedTransaction
{
public:
    explicit CachedTransaction(StatementCache& sql) : m_sql(sql) {}
    ~CachedTransaction()
    {
        if (m_active)
            m_sql.rollback();
    }
    CachedTransaction(const CachedTransaction&) = delete;
    CachedTransaction& operator=(const CachedTransaction&) = delete;

    Status begin()
    {
        Status s = m_sql.begin();
        m_active = s.ok();
        return s;
    }
    Status commit()
    {
        Status s = m_sql.commit();
        if (!s)
            m_sql.rollback();
        m_active = false;
        return s;
    }

private:
    StatementCache& m_sql;
    bool m_active = false;
};

} // namespace taviro
