#include "EscalationSettings.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

#include <QSqlQuery>

namespace taviro::escalation {

namespace {

struct Column
{
    const char* name;
    const char* definition;
};

// Other programs of the site write these too: the names are fixed.
constexpr Column kColumns[] = {
    {"EscalatieMinuten", "INTEGER DEFAULT 0"},
    {"EscalatieWeekplanning", "INTEGER DEFAULT 0"},
    {"EscalatieJaarplanning", "INTEGER DEFAULT 0"},
    {"EscalatieKopie", "BOOLEAN NOT NULL DEFAULT FALSE"},
    {"BevestigingMelden", "BOOLEAN NOT NULL DEFAULT FALSE"},
};

QString columnList(const DatabaseConnector& conn)
{
    QStringList names;
    for (const Column& c : kColumns)
        names << conn.id(QString::fromLatin1(c.name));
    return names.join(QStringLiteral(", "));
}

} // namespace

Result<EscalationSettings> load(const DatabaseConnector& conn)
{
    auto q = conn.query(QStringLiteral("SELECT %1 FROM settings ORDER BY id LIMIT 1").arg(columnList(conn)));
    if (!q)
        return Result<EscalationSettings>::failure(q.error());
    EscalationSettings s;
    if (!q->next())
        return s;
    s.minutes = sql::toLong(q->value(0));
    s.weekId = sql::toLong(q->value(1));
    s.yearId = sql::toLong(q->value(2));
    s.copy = sql::toBool(q->value(3));
    s.notice = sql::toBool(q->value(4));
    return s;
}

Status save(const DatabaseConnector& conn, const EscalationSettings& s)
{
    QStringList sets;
    for (const Column& c : kColumns)
        sets << conn.id(QString::fromLatin1(c.name)) + QStringLiteral(" = ?");
    return conn.exec(QStringLiteral("UPDATE settings SET %1").arg(sets.join(QStringLiteral(", "))),
                     {sql::keyValue(s.minutes), sql::keyValue(s.weekId), sql::keyValue(s.yearId),
                      sql::boolValue(s.copy), sql::boolValue(s.notice)});
}

Status addColumns(const DatabaseConnector& conn)
{
    for (const Column& c : kColumns) {
        const QString name = QString::fromLatin1(c.name);
        if (conn.dialect() == Dialect::PostgreSQL) {
            // A failed statement would spoil the surrounding transaction, so
            // the server decides whether the column is there.
            if (Status s = conn.exec(QStringLiteral("ALTER TABLE settings ADD COLUMN IF NOT EXISTS %1 %2")
                                         .arg(conn.id(name), QLatin1String(c.definition)));
                !s)
                return s;
            continue;
        }
        auto there = conn.scalar(
            QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('settings') WHERE lower(name) = lower(?)"),
            {sql::textValue(name)});
        if (!there)
            return Status::failure(there.error());
        if (sql::toLong(*there) > 0)
            continue;
        if (Status s = conn.exec(QStringLiteral("ALTER TABLE settings ADD COLUMN %1 %2")
                                     .arg(conn.id(name), QLatin1String(c.definition)));
            !s)
            return s;
    }
    return {};
}

} // namespace taviro::escalation
