#include "StatusCommand.h"

#include "DatabaseConnector.h"
#include "RoomStatus.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

namespace taviro {

int statusCommand(const QStringList& args)
{
    if (args.size() > 1) {
        std::fprintf(stderr, "Gebruik: taviro-db status [DATABASE]\n");
        return 2;
    }
    const DatabaseSettings where = args.isEmpty()
                                       ? DatabaseSettings::fromEnvironment(QCoreApplication::applicationDirPath())
                                       : DatabaseSettings::fromText(args.first());
    auto opened = DatabaseConnector::open(where, DatabaseConnector::OpenMode::ReadOnly);
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    auto status = readRoomStatus(**opened, QDateTime::currentDateTime());
    if (!status) {
        std::fprintf(stderr, "De toestand van de meldkamer is niet leesbaar: %s\n", qPrintable(status.error()));
        return 1;
    }
    std::fprintf(stdout, "Database: %s\n", qPrintable(where.displayText()));
    for (const QString& line : status->lines())
        std::fprintf(stdout, "%s\n", qPrintable(line));
    return 0;
}

} // namespace taviro
