#pragma once

#include "DatabaseSettings.h"

#include <QDateTime>
#include <QVariant>

namespace taviro::sql {

// How values are stored, the same for every program that shares the database
// (docs/database.md): booleans as 0/1 in SQLite and boolean in PostgreSQL, any
// non-zero number reads as true; dates as local-time text "yyyy-MM-dd HH:mm:ss"
// in SQLite and timestamp in PostgreSQL; texts never NULL when we write them.

QVariant boolValue(bool b);
// A key (an id or a foreign key) as a 64-bit integer, whatever the caller holds.
QVariant keyValue(qint64 id);
QVariant textValue(const QString& s);
QVariant dateValue(const QDateTime& dt, Dialect dialect);

bool toBool(const QVariant& v);
qint64 toLong(const QVariant& v);
QString toText(const QVariant& v);
QDateTime toDate(const QVariant& v);

QString dateText(const QDateTime& dt);

// An expression for the database server's clock in whole seconds since
// 1970 (UTC): what every workstation compares leases and heartbeats with,
// so machines whose clocks differ still agree.
QString serverNowSeconds(Dialect dialect);

// A column name as written in statements: quoted, and lower case for
// PostgreSQL, where quoted names are case-sensitive.
QString ident(const QString& name, Dialect dialect);

} // namespace taviro::sql
