#include "DatabaseSettings.h"

#include <QDir>

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

DatabaseSettings DatabaseSettings::fromEnvironment(const QString& programFolder)
{
    const QString fromEnv = qEnvironmentVariable("TAVIRO_DATABASE");
    if (!fromEnv.trimmed().isEmpty())
        return fromText(fromEnv);
    return fromText(defaultSqlitePath(programFolder));
}

} // namespace taviro
