#pragma once

#include <QString>

namespace taviro {

// Where one installation keeps its parts. A build keeps everything beside its
// programs (build/bin, build/Logger, build/Images, build/Database); an
// installed console (<prefix>/bin/taviro with its services in
// <prefix>/lib/taviro) uses the system's places: the log in /var/log/taviro,
// the data in /var/lib/taviro, the settings in /etc/taviro. Each folder can be
// moved with a TAVIRO_* variable.
struct ProgramLayout
{
    bool installed = false;
    QString programFolder;  // without a trailing separator
    QString serviceFolder;  // the six service executables
    QString loggerPath;     // empty in a build: the Logger/ rule beside the program decides
    QString imagesPath;     // likewise
    QString stylesheetFolder; // where fresh copies of the overview stylesheets come from
    QString dataFolder;     // default database and the console's lock
    QString settingsFolder; // database.conf

    static ProgramLayout forProgram(const QString& programFolder);
    // The layout's database.conf and default database file.
    QString databaseConf() const { return settingsFolder + QStringLiteral("/database.conf"); }
    QString defaultDatabase() const { return dataFolder + QStringLiteral("/taviro.db"); }
    QString instanceLock() const;
    // Held by whoever runs this installation's receivers and senders on this
    // machine: the station, or a console while no station runs. Beside the
    // console's lock unless TAVIRO_PORTS_LOCK names another file.
    QString portsLock() const;
};

} // namespace taviro
