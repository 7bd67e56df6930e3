#include "FolderPaths.h"

#include <QDir>

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

} // namespace taviro
