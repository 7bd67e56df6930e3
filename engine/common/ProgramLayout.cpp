#include "ProgramLayout.h"

#include <QDir>
#include <QFileInfo>

namespace taviro {

namespace {

QString fromEnvironmentOr(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name).trimmed();
    return value.isEmpty() ? fallback : value;
}

QString withSeparator(const QString& path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

} // namespace

ProgramLayout ProgramLayout::forProgram(const QString& programFolder)
{
    ProgramLayout l;
    l.programFolder = QDir::cleanPath(programFolder);
    const QString parent = QDir::cleanPath(l.programFolder + QStringLiteral("/.."));
    const QString installedServices = QDir::cleanPath(l.programFolder + QStringLiteral("/" TAVIRO_INSTALLED_SERVICES));
    // A build has its services beside the console; an installation has them
    // in its private program folder and no services in bin/.
    l.installed = !QFileInfo::exists(l.programFolder + QStringLiteral("/TaviroComm"))
                  && QFileInfo::exists(installedServices + QStringLiteral("/TaviroComm"));
    if (l.installed) {
        l.serviceFolder = installedServices;
        l.loggerPath = withSeparator(fromEnvironmentOr("TAVIRO_LOGGER_DIR", QStringLiteral(TAVIRO_INSTALLED_LOGDIR)));
        l.imagesPath = withSeparator(fromEnvironmentOr(
            "TAVIRO_IMAGES_DIR", QDir::cleanPath(l.programFolder + QStringLiteral("/" TAVIRO_INSTALLED_DATA "/images"))));
        l.stylesheetFolder = QDir::cleanPath(l.programFolder + QStringLiteral("/" TAVIRO_INSTALLED_DATA "/xsl"));
        l.dataFolder = fromEnvironmentOr("TAVIRO_DATA_DIR", QStringLiteral(TAVIRO_INSTALLED_STATEDIR));
        l.settingsFolder = fromEnvironmentOr("TAVIRO_CONFIG_DIR", QStringLiteral(TAVIRO_INSTALLED_CONFDIR));
    } else {
        l.serviceFolder = l.programFolder;
        l.loggerPath = withSeparator(qEnvironmentVariable("TAVIRO_LOGGER_DIR").trimmed());
        l.imagesPath = withSeparator(qEnvironmentVariable("TAVIRO_IMAGES_DIR").trimmed());
        l.dataFolder = fromEnvironmentOr("TAVIRO_DATA_DIR", parent + QStringLiteral("/Database"));
        l.settingsFolder = fromEnvironmentOr("TAVIRO_CONFIG_DIR", parent + QStringLiteral("/Database"));
    }
    return l;
}

QString ProgramLayout::instanceLock() const
{
    // In the installation's own data folder, which only the control room's
    // operators may write: nobody else can plant a lock there.
    return fromEnvironmentOr("TAVIRO_INSTANCE_LOCK", dataFolder + QStringLiteral("/taviro-console.lock"));
}

QString ProgramLayout::portsLock() const
{
    return fromEnvironmentOr("TAVIRO_PORTS_LOCK",
                             QFileInfo(instanceLock()).absolutePath() + QStringLiteral("/taviro-ports.lock"));
}

} // namespace taviro
