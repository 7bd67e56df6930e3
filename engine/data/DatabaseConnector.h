#pragma once

#include "DatabaseSettings.h"
#include "Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariantList>

#include <memory>

namespace taviro {

// One open connection to the shared database. Every part of the console and
// every service opens its own; several may be open at once, also in other
// processes. Closing happens when the connector is destroyed.
class DatabaseConnector
{
public:
    enum class OpenMode {
        Existing, // the database must exist and be writable
        ReadOnly, // for inspection; nothing is changed, not even the journal mode
        CreateNew, // a new SQLite file, or a PostgreSQL database without our tables
        Server     // PostgreSQL only: the server itself, to create or drop databases
    };

    static Result<std::unique_ptr<DatabaseConnector>> open(const DatabaseSettings& settings,
                                                          OpenMode mode = OpenMode::Existing);
    ~DatabaseConnector();
    DatabaseConnector(const DatabaseConnector&) = delete;
    DatabaseConnector& operator=(const DatabaseConnector&) = delete;

    QSqlDatabase database() const;
    Dialect dialect() const { return m_settings.dialect; }
    const DatabaseSettings& settings() const { return m_settings; }
    // The file the connection uses (SQLite), or the URL without its password.
    QString databasePath() const;

    // Runs a statement with bound values. The query is positioned before the
    // first row. Read it to its end or finish() it before relying on other
    // connections' writes: an open read keeps the snapshot it started with.
    Result<QSqlQuery> query(const QString& sql, const QVariantList& binds = {}) const;
    Status exec(const QString& sql, const QVariantList& binds = {}) const;
    // Runs an INSERT and hands back the key the database gave the new row.
    Result<qint64> insert(const QString& sql, const QVariantList& binds) const;
    // Reads one value of the first row, or a null QVariant when there is none.
    Result<QVariant> scalar(const QString& sql, const QVariantList& binds = {}) const;

    // A column name quoted for this connection's dialect.
    QString id(const QString& column) const;

    // A PostgreSQL server that restarted, or a network that failed, leaves
    // the connection broken: every statement fails until restore() opens it
    // again. Callers restore only between units of work, never inside a
    // transaction, so no half of one runs on the new connection.
    bool lost() const { return m_lost; }
    Status restore() const;
    // For statements run outside query(): marks the connection lost when the
    // failure says so.
    void noteFailure(const QSqlError& error) const;
    // Counts the restores: statements prepared on an older connection are gone.
    quint64 generation() const { return m_generation; }

    // A SQLite file deleted or replaced while open is carried on by the
    // connection as if nothing happened, but nobody else will ever see what
    // is written into it: a failure naming what became of the file. Always
    // fine for PostgreSQL.
    Status fileStillThere() const;

private:
    DatabaseConnector(DatabaseSettings settings, QString connectionName);
    Status prepareSqlite(OpenMode mode);
    Status preparePostgres(OpenMode mode);

    DatabaseSettings m_settings;
    QString m_connectionName;
    mutable bool m_lost = false;
    mutable quint64 m_generation = 0;
    // The SQLite file as opened: device and inode, 0 when unknown.
    quint64 m_fileDevice = 0;
    quint64 m_fileInode = 0;
};

using ConnectorPtr = std::unique_ptr<DatabaseConnector>;

// A Dutch description of a failed statement for the event log or a message box.
QString describeSqlError(const QSqlError& error);
// True when the failure is another process holding the database.
bool isBusyError(const QSqlError& error);
// True when the PostgreSQL connection itself is gone (server restarted, network down).
bool isConnectionLost(const QSqlError& error);

} // namespace taviro
