#include "ChangeCounter.h"

#include "DatabaseConnector.h"
#include "SqlValues.h"

namespace taviro::changecounter {

Status ensure(const DatabaseConnector& conn, const QString& naam)
{
    // Seconds since 2020 rather than since 1970: the column is a 32-bit
    // whole number on PostgreSQL, and this leaves it room for decades of saves.
    const QString now = sql::serverNowSeconds(conn.dialect()) + QStringLiteral(" - 1577836800");
    return conn.exec(QStringLiteral("INSERT INTO wijzigteller (naam, teller) SELECT ?, %1 WHERE NOT EXISTS "
                                    "(SELECT 1 FROM wijzigteller WHERE naam = ?)")
                         .arg(now),
                     {sql::textValue(naam), sql::textValue(naam)});
}

Status bump(const DatabaseConnector& conn, const QString& naam)
{
    if (Status s = ensure(conn, naam); !s)
        return s;
    return conn.exec(QStringLiteral("UPDATE wijzigteller SET teller = teller + 1 WHERE naam = ?"),
                     {sql::textValue(naam)});
}

Result<qint64> read(const DatabaseConnector& conn, const QString& naam)
{
    auto v = conn.scalar(QStringLiteral("SELECT teller FROM wijzigteller WHERE naam = ?"),
                         {sql::textValue(naam)});
    if (!v)
        return Result<qint64>::failure(v.error());
    return v->isNull() ? qint64(0) : sql::toLong(*v);
}

} // namespace taviro::changecounter
