#pragma once

#include "DatabaseSettings.h"
#include "Result.h"
#include "RowMapping.h"

#include <QList>
#include <QString>

namespace taviro {

class DatabaseConnector;

namespace schema {

constexpr int kVersion = 29;

struct ColumnSpec
{
    QString name;
    ColumnKind kind;
    bool defaultTrue = false;
};

struct TableSpec
{
    QString name;
    QList<ColumnSpec> columns; // after id
};

template <class Row>
TableSpec specOf(const RowMapping<Row>& m)
{
    TableSpec t{m.table, {}};
    for (const auto& f : m.fields)
        t.columns.append({f.column, f.kind, f.defaultTrue});
    return t;
}

// The eleven tables of a version-29 database.
QList<TableSpec> version29Tables();
QString columnType(ColumnKind kind, Dialect dialect);
QString columnDefinition(const ColumnSpec& column, Dialect dialect);
QString createTableSql(const TableSpec& table, Dialect dialect, bool ifNotExists = false);

// Creates every table of version 29 plus our own additions in an empty database.
Status createVersion29(const DatabaseConnector& connector);

} // namespace schema
} // namespace taviro
