#pragma once

#include <QString>
#include <QStringList>

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

struct ProgramLayout;
// The installation's folders: its own places when installed (or moved by
// TAVIRO_LOGGER_DIR / TAVIRO_IMAGES_DIR), else the rule above.
FolderPaths resolveFolders(const ProgramLayout& layout);

// Copies each overview stylesheet from the installation into the Logger
// folder when it is not there yet, so overzicht.xml always finds them; an
// installer's own edited copy is left alone. Returns what could not be copied.
QStringList provideStylesheets(const QString& stylesheetFolder, const QString& loggerPath);

} // namespace taviro
