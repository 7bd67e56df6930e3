#include "SchemaUpgrade.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "Repositories.h"
#include "Schema.h"
#include "SqlValues.h"
#include "Transaction.h"
#include "UpgradeSteps.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlRecord>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taviro {

SchemaUpgrade::SchemaUpgrade(DatabaseSettings settings, const Clock& clock)
    : m_settings(std::move(settings)), m_clock(clock)
{
}

QString SchemaUpgrade::backupFileName(const QString& databasePath, const QDateTime& moment)
{
    return databasePath + QLatin1Char('.') + moment.toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

bool SchemaUpgrade::fail(const QString& message)
{
    m_error = message;
    return false;
}

bool SchemaUpgrade::convertDatabase()
{
    m_error.clear();
    m_backupPath.clear();
    auto opened = DatabaseConnector::open(m_settings);
    if (!opened)
        return fail(opened.error());
    const DatabaseConnector& conn = **opened;

    bool hasRow = false;
    if (!readVersion(conn, hasRow))
        return false;
    if (!hasRow || m_versionFound >= schema::kVersion)
        return true;
    if (!makeBackup(conn))
        return false;
    return runBlocks(conn);
}

bool SchemaUpgrade::readVersion(const DatabaseConnector& conn, bool& hasRow)
{
    auto q = conn.query(QStringLiteral("SELECT * FROM settings"));
    if (!q)
        return fail(QStringLiteral("Kan de instellingen niet lezen: %1").arg(q.error()));
    hasRow = q->next();
    m_versionFound = 0;
    if (hasRow) {
        // A missing column or an empty value means version 0: every block runs.
        const QSqlRecord rec = q->record();
        for (int i = 0; i < rec.count(); ++i)
            if (rec.fieldName(i).compare(QLatin1String("DatabaseVersion"), Qt::CaseInsensitive) == 0)
                m_versionFound = int(sql::toLong(q->value(i)));
    }
    q->finish();
    return true;
}

bool SchemaUpgrade::makeBackup(const DatabaseConnector& conn)
{
    if (conn.dialect() != Dialect::SQLite)
        return fail(QStringLiteral("Een PostgreSQL-database van versie %1 wordt niet automatisch bijgewerkt; "
                                   "maak eerst een reservekopie met pg_dump en werk hem bij met taviro-db.")
                        .arg(m_versionFound));
    const QString target = backupFileName(conn.databasePath(), m_clock.now());
    if (QFileInfo::exists(target))
        return fail(QStringLiteral("De reservekopie %1 bestaat al.").arg(target));
    // The copy holds the same passwords and phone numbers as the database: it
    // is made empty with the database's own mode first, and VACUUM INTO (which
    // accepts an empty target) fills it without widening that.
    struct stat original = {};
    const mode_t mode = ::stat(QFile::encodeName(conn.databasePath()).constData(), &original) == 0
                            ? (original.st_mode & 0777)
                            : mode_t(0600);
    const int fd = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    // fchmod too: the umask may have taken bits the database has.
    if (fd < 0 || ::fchmod(fd, mode) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0) {
            ::close(fd);
            QFile::remove(target);
        }
        return fail(QStringLiteral("Kan geen reservekopie %1 maken: %2").arg(target, why));
    }
    ::close(fd);
    // VACUUM INTO writes a consistent copy even while the journal holds pages
    // that are not yet in the main file, or another program is reading.
    if (Status s = conn.exec(QStringLiteral("VACUUM INTO ?"), {target}); !s) {
        QFile::remove(target);
        return fail(QStringLiteral("Kan geen reservekopie %1 maken: %2").arg(target, s.error()));
    }
    m_backupPath = target;
    return true;
}

bool SchemaUpgrade::runBlocks(const DatabaseConnector& conn)
{
    Transaction tx(conn);
    if (Status s = tx.begin(); !s)
        return fail(QStringLiteral("Kan de database niet bijwerken: %1").arg(s.error()));
    for (const upgrade::Block& block : upgrade::blocks(conn.dialect())) {
        if (m_versionFound >= block.below)
            continue;
        for (const upgrade::Step& step : block.steps)
            if (Status s = conn.exec(step.sql, step.binds); !s)
                return fail(QStringLiteral("Bijwerken naar versie %1 mislukt bij \"%2\": %3")
                                .arg(block.below)
                                .arg(step.sql, s.error()));
    }
    // The program that wrote the old database kept passwords as typed; the
    // upgraded one keeps only their hashes.
    if (Status s = GebruikerRepository(conn).hashPlainPasswords(); !s)
        return fail(QStringLiteral("Kan de wachtwoorden niet versleutelen: %1").arg(s.error()));
    if (Status s = conn.exec(QStringLiteral("UPDATE settings SET DatabaseVersion = ?"), {schema::kVersion}); !s)
        return fail(QStringLiteral("Kan de databaseversie niet vastleggen: %1").arg(s.error()));
    if (Status s = tx.commit(); !s)
        return fail(QStringLiteral("Kan de bijgewerkte database niet vastleggen: %1").arg(s.error()));
    return true;
}

} // namespace taviro
