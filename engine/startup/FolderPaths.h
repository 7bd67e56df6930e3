#pragma once

#include <QString>

namespace taviro {

// The two folders other parts read files from, each ending in a separator.
struct FolderPaths
{
    QString loggerPath;
    QString imagesPath;
};

// The folder above the program's, with a trailing separator.
QString parentFolder(const QString& programFolder);

// Logger/ and Images/ inside the program's folder when they hold files,
// otherwise the ones beside it (so build/bin/ finds build/Logger/).
FolderPaths resolveFolders(const QString& programFolder);

} // namespace taviro
