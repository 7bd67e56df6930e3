#pragma once

#include "DatabaseConnector.h"
#include "RowMapping.h"

#include <QSqlQuery>
#include <QStringList>

#include <optional>

namespace taviro {

// Reads and writes whole rows of one table through its RowMapping. Every value
// is bound; the WHERE texts passed in hold only column names and placeholders.
template <class Row>
class Table
{
public:
    Table(const DatabaseConnector& connector, const RowMapping<Row>& mapping)
        : m_conn(connector), m_map(mapping)
    {
    }

    QString selectSql() const
    {
        QStringList cols{QStringLiteral("id")};
        for (const auto& f : m_map.fields)
            cols << m_conn.id(f.column);
        return QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QStringLiteral(", ")), m_map.table);
    }

    Row fromQuery(const QSqlQuery& q, int firstColumn = 0) const
    {
        Row r;
        r.id = sql::toLong(q.value(firstColumn));
        for (int i = 0; i < m_map.fields.size(); ++i)
            m_map.fields[i].set(r, q.value(firstColumn + 1 + i));
        return r;
    }

    // rest: for example "WHERE deleted = ? ORDER BY alias"
    Result<QList<Row>> list(const QString& rest = {}, const QVariantList& binds = {}) const
    {
        auto q = m_conn.query(selectSql() + QLatin1Char(' ') + rest, binds);
        if (!q)
            return Result<QList<Row>>::failure(q.error());
        QList<Row> rows;
        while (q->next())
            rows.append(fromQuery(*q));
        return rows;
    }

    Result<std::optional<Row>> find(qint64 id) const
    {
        auto rows = list(QStringLiteral("WHERE id = ?"), {QVariant::fromValue(id)});
        if (!rows)
            return Result<std::optional<Row>>::failure(rows.error());
        if (rows->isEmpty())
            return std::optional<Row>();
        return std::optional<Row>(rows->first());
    }

    Result<qint64> insert(const Row& row) const
    {
        QStringList cols, marks;
        QVariantList binds;
        for (const auto& f : m_map.fields) {
            cols << m_conn.id(f.column);
            marks << QStringLiteral("?");
            binds << f.get(row, m_conn.dialect());
        }
        return m_conn.insert(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                 .arg(m_map.table, cols.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                             binds);
    }

    Status update(const Row& row) const
    {
        QStringList sets;
        QVariantList binds;
        for (const auto& f : m_map.fields) {
            sets << m_conn.id(f.column) + QStringLiteral(" = ?");
            binds << f.get(row, m_conn.dialect());
        }
        binds << QVariant::fromValue(row.id);
        return m_conn.exec(
            QStringLiteral("UPDATE %1 SET %2 WHERE id = ?").arg(m_map.table, sets.join(QStringLiteral(", "))),
            binds);
    }

private:
    const DatabaseConnector& m_conn;
    const RowMapping<Row>& m_map;
};

} // namespace taviro
