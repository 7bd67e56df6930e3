#include "DatabaseSettings.h"

#include "ProgramLayout.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

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
    // A build: beside Logger/ and Images/, <parent of the program folder>/Database/taviro.db;
    // an installation: its data folder.
    return QDir::cleanPath(ProgramLayout::forProgram(programFolder).defaultDatabase());
}

QString DatabaseSettings::displayText() const
{
    if (dialect != Dialect::PostgreSQL)
        return location;
    // Done on the text rather than through a parser: an address that cannot
    // be parsed must still not show its password. Up to the last '@', as a
    // password may hold one.
    QString shown = location;
    static const QRegularExpression userinfo(QStringLiteral("^([a-zA-Z]+://[^:/@?#]*:)(.*)@"));
    shown.replace(userinfo, QStringLiteral("\\1***@"));
    static const QRegularExpression parameter(QStringLiteral("([?&]password=)[^&#]*"),
                                              QRegularExpression::CaseInsensitiveOption);
    shown.replace(parameter, QStringLiteral("\\1***"));
    return shown;
}

namespace {

// A workstation of a shared installation names its server once, in
// Database/database.conf beside the program's folder, instead of in the
// environment of every program: the first line that is not empty and not a
// "#" comment, a file path or a postgresql:// URL.
QString fromSettingsFile(const QString& programFolder)
{
    QFile file(ProgramLayout::forProgram(programFolder).databaseConf());
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
