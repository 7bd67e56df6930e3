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
    Status rows(const QString& sql, const QVariantList& binds, const std::function<void(const QSqlQuery&)>& row);

private:
    Result<QSqlQuery*> run(const QString& sql, const QVariantList& binds);

    const DatabaseConnector& m_conn;
    QHash<QString, QSqlQuery> m_queries;
};

} // namespace taviro
