#pragma once

#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace taviro {

class DatabaseConnector;

// One console or station as its heartbeat row shows it.
struct WorkstationStatus
{
    QString naam, soort, gebruiker;
    bool bemand = false;
    qint64 heartbeatAge = 0; // seconds, by the database server's clock
    bool modemReady = false; // its GSM modem can send (`gsmklaar`)
};

// The room at a glance, for an installer at a terminal and for the
// service manager's status line: who beats, what waits to go out.
struct RoomStatus
{
    QList<WorkstationStatus> workstations;
    qint64 openDispatches = 0;
    std::optional<qint64> oldestOpenAge; // seconds since the oldest open dispatch was made
    std::optional<qint64> escalationsWaiting; // escalated reports nobody acknowledged yet
    std::optional<qint64> mailQueued, mailFailed; // the room's mail outbox; nothing when unreadable

    // Several lines, Dutch.
    QStringList lines() const;
    // One line.
    QString summary() const;
};

// `now` is the local time the dispatch dates are compared with.
Result<RoomStatus> readRoomStatus(const DatabaseConnector& conn, const QDateTime& now);

// "3 min", "2 u 5 min", "45 s".
QString ageText(qint64 seconds);

} // namespace taviro
