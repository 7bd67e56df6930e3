#pragma once

#include "DatabaseSettings.h"

#include <QDateTime>
#include <QString>

namespace taviro {

class Clock;
class DatabaseConnector;

// Brings an older database up to version 29 at start-up (ConvertDatabase).
// A backup copy is made first; all blocks then run in one transaction, so a
// failure leaves the database exactly as it was and the backup beside it.
class SchemaUpgrade
{
public:
    SchemaUpgrade(DatabaseSettings settings, const Clock& clock);

    // True when the database is at version 29 or above afterwards, or has no
    // settings row; false when the backup or any step failed (see error()).
    bool convertDatabase();

    int versionFound() const { return m_versionFound; }
    // The backup made by this run, empty when none was needed.
    const QString& backupPath() const { return m_backupPath; }
    const QString& error() const { return m_error; }

    // path + "." + yyyymmdd + "_" + hhmmss
    static QString backupFileName(const QString& databasePath, const QDateTime& moment);

private:
    bool fail(const QString& message);
    bool readVersion(const DatabaseConnector& conn, bool& hasRow);
    bool makeBackup(const DatabaseConnector& conn);
    bool runBlocks(const DatabaseConnector& conn);

    DatabaseSettings m_settings;
    const Clock& m_clock;
    int m_versionFound = 0;
    QString m_backupPath;
    QString m_error;
};

} // namespace taviro
