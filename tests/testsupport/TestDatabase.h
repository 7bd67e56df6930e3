#pragma once

#include "DatabaseConnector.h"

#include <QTemporaryDir>

namespace taviro::test {

// A fresh version-29 database with operator "op1" / "geheim" (name "Operator
// Een"). By default a SQLite file in a temporary folder; when
// TAVIRO_TEST_DATABASE names a PostgreSQL server (postgresql://user@host:port/db
// of a database to connect to first) a new database of its own on that
// server, dropped again afterwards. Several connections may be opened on it.
class TestDatabase
{
public:
    explicit TestDatabase(bool demo = false);
    // A place for a database that does not exist yet (SQLite) or has no
    // tables (PostgreSQL): the target of a copy.
    struct Empty
    {
    };
    explicit TestDatabase(Empty);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    // The file path, or the URL of the PostgreSQL database.
    QString path() const { return m_path; }
    // A scratch folder for logs and children's files, also with PostgreSQL.
    QString folder() const { return m_dir.path(); }
    DatabaseSettings settings() const { return DatabaseSettings::fromText(m_path); }
    bool onPostgres() const { return settings().dialect == Dialect::PostgreSQL; }
    // A new connection; the test fails loudly through an empty pointer if it cannot open.
    ConnectorPtr connect() const;

    // The server tests run against, or empty for SQLite files.
    static QString serverUrl();

private:
    bool makePlace();

    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
    QString m_dropName; // the PostgreSQL database to drop afterwards
};

} // namespace taviro::test
