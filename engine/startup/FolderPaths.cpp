#include "FolderPaths.h"

#include "ProgramLayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace taviro {

namespace {

QString withSeparator(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

bool holdsFiles(const QString& folder)
{
    return !QDir(folder).entryList(QDir::Files).isEmpty();
}

QString resolveOne(const QString& programFolder, const QString& name)
{
    const QString inside = withSeparator(QDir::cleanPath(programFolder)) + name + QLatin1Char('/');
    if (holdsFiles(inside))
        return inside;
    return parentFolder(programFolder) + name + QLatin1Char('/');
}

} // namespace

QString parentFolder(const QString& programFolder)
{
    QString folder = QDir::cleanPath(programFolder);
    const int cut = folder.lastIndexOf(QLatin1Char('/'), folder.size() - 2);
    if (cut < 0)
        return QStringLiteral("/");
    return folder.left(cut + 1);
}

FolderPaths resolveFolders(const QString& programFolder)
{
    return {resolveOne(programFolder, QStringLiteral("Logger")), resolveOne(programFolder, QStringLiteral("Images"))};
}

FolderPaths resolveFolders(const ProgramLayout& layout)
{
    FolderPaths paths = resolveFolders(layout.programFolder);
    if (!layout.loggerPath.isEmpty())
        paths.loggerPath = layout.loggerPath;
    if (!layout.imagesPath.isEmpty())
        paths.imagesPath = layout.imagesPath;
    return paths;
}

QStringList provideStylesheets(const QString& stylesheetFolder, const QString& loggerPath)
{
    QStringList failed;
    if (stylesheetFolder.isEmpty())
        return failed;
    const QDir source(stylesheetFolder);
    for (const QString& name : source.entryList({QStringLiteral("*.xsl")}, QDir::Files)) {
        const QString target = withSeparator(loggerPath) + name;
        if (QFileInfo::exists(target))
            continue;
        if (!QDir().mkpath(loggerPath) || !QFile::copy(source.filePath(name), target)) {
            failed << name;
            continue;
        }
        // The package's copy is read-only; the Logger folder's copy is the installer's to edit.
        QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                          | QFileDevice::WriteGroup);
    }
    return failed;
}

} // namespace taviro
