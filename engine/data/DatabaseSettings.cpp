#include "DatabaseSettings.h"

#include <QDir>
#include <QFile>

namespace taviro {

DatabaseSettings DatabaseSettings::fromText(const QString& text)
{
    DatabaseSettings s;
    s.location = text.trimmed();
    if (s.location.startsWith(QStringLiteral("postgresql://"), Qt::CaseInsensitive)
        || s.location.startsWith(QStringLiteral("postgres://"), Qt::CaseInsensitive))
        s.dialect = Dialect::PostgreSQL;
    return s;
}

QString DatabaseSettings::defaultSqlitePath(const QString& programFolder)
{
    // Beside Logger/ and Images/: <parent of the program folder>/Database/taviro.db.
    QDir dir(programFolder);
    dir.cdUp();
    return QDir::cleanPath(dir.absoluteFilePath(QStringLiteral("Database/taviro.db")));
}

namespace {

// A workstation of a shared installation names its server once, in
// Database/database.conf beside the program's folder, instead of in the
// environment of every program: the first line that is not empty and not a
// "#" comment, a file path or a postgresql:// URL.
QString fromSettingsFile(const QString& programFolder)
{
    QDir dir(programFolder);
    dir.cdUp();
    QFile file(dir.absoluteFilePath(QStringLiteral("Database/database.conf")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            return line;
    }
    return {};
}

} // namespace

DatabaseSettings DatabaseSettings::fromEnvironment(const QString& programFolder)
{
    const QString fromEnv = qEnvironmentVariable("TAVIRO_DATABASE");
    if (!fromEnv.trimmed().isEmpty())
        return fromText(fromEnv);
    if (const QString fromFile = fromSettingsFile(programFolder); !fromFile.isEmpty())
        return fromText(fromFile);
    return fromText(defaultSqlitePath(programFolder));
}

} // namespace taviro
