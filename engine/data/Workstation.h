#pragma once

#include <QString>

namespace taviro {

// Who a running console or station is to the rest of the room. The name and
// kind say which workstation; the start id says which start of it, so the
// claims a workstation left before a crash or restart are told from the ones
// it holds now, and a console beside a station on one machine (same name,
// other kind) never takes the station's work for its own.
struct Workstation
{
    QString naam;
    QString soort; // "console" or "station"
    QString startId;

    static QString consoleKind() { return QStringLiteral("console"); }
    static QString stationKind() { return QStringLiteral("station"); }
    // A new start of the workstation with this name and kind: a start id no
    // other start has had, here or on any other machine.
    static Workstation starting(const QString& naam, const QString& soort);
};

// The workstation name: TAVIRO_STATION when set (two stations on one machine,
// as in tests), else the host name.
QString defaultStationName();

} // namespace taviro
