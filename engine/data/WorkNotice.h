#pragma once

#include "Result.h"

#include <QObject>

namespace taviro {

class DatabaseConnector;

// Work one workstation makes for the others: a report stored for intake, a
// dispatch that became pending. On PostgreSQL a NOTIFY sent in the
// transaction that makes the work reaches every listening workstation the
// moment it commits, and never for work that was rolled back. SQLite knows
// no such thing; there the workstations share one machine and look every
// second instead.
Status announceWork(const DatabaseConnector& conn);

// Hears announceWork from every workstation on the connection it was given.
class WorkListener : public QObject
{
    Q_OBJECT
public:
    explicit WorkListener(const DatabaseConnector& conn, QObject* parent = nullptr);
    // Listens, again after the connection was restored; cheap when nothing changed.
    void ensure();
    bool listening() const { return m_listening; }

Q_SIGNALS:
    void workAnnounced();

private:
    const DatabaseConnector& m_conn;
    quint64 m_generation = ~quint64(0);
    bool m_listening = false;
};

} // namespace taviro
