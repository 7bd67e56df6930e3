#pragma once

#include <QString>

namespace taviro {

enum class Dialect { SQLite, PostgreSQL };

// Where the database is: a SQLite file (the embedded default) or, for several
// stations sharing one database, a postgresql:// URL. The console hands the
// same text to every service it starts through TAVIRO_DATABASE.
struct DatabaseSettings
{
    Dialect dialect = Dialect::SQLite;
    QString location; // file path, or the URL for PostgreSQL

    static DatabaseSettings fromText(const QString& text);
    // TAVIRO_DATABASE when set, else Database/database.conf beside the program's
    // folder when it names a database, else the default file there.
    static DatabaseSettings fromEnvironment(const QString& programFolder);
    static QString defaultSqlitePath(const QString& programFolder);

    QString text() const { return location; }
    // The text to put in a log or on screen: a password in the URL (before
    // the '@' or as a password= parameter) shows as "***".
    QString displayText() const;
};

} // namespace taviro
