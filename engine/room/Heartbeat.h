#pragma once

#include "Result.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

namespace taviro {

class DatabaseConnector;
class EventLog;

// How often a workstation beats, and how long a silence makes it count as
// gone. TAVIRO_HEARTBEAT_SECONDS and TAVIRO_HEARTBEAT_STALE_SECONDS override
// the defaults (tests shorten them).
struct HeartbeatTiming
{
    int beatSeconds = 30;
    int staleSeconds = 90;
    static HeartbeatTiming fromEnvironment();
};

// What the row under our name says about whoever wrote it last.
struct WorkstationClaim
{
    QString host;
    qint64 pid = 0;
    qint64 ageSeconds = 0; // by the database server's clock
};

// True when the row belongs to another program that is still at work: a
// fresh beat from another machine, or from a live process of ours on this
// one. A row we left ourselves before a crash or a restart is ours to take.
bool heldByAnother(const WorkstationClaim& row, const QString& ownHost, qint64 ownPid, int staleSeconds,
                   const std::function<bool(qint64 pid)>& processAlive);

// Whether a process of the same program as this one runs under `pid` here.
bool sameProgramAlive(qint64 pid);

// One console's or station's row in `werkplek`: it beats every
// beatSeconds (and at once when its manned state or operator changes), and
// after every beat looks at the room, and again the moment the last manned
// console would turn silent. Only the database server's clock is
// compared, so workstations whose clocks differ still agree.
//
// The room is manned while at least one console that says manned has beaten
// less than staleSeconds ago. A manned console that falls silent (it crashed, lost
// power or its network) is named in a level-0 line by every live
// workstation, and when with it the room became unmanned, exactly one of them
// mails the unmanned address: the one whose transaction marks the row as
// reported queues the mail in the outbox in that same transaction.
class Heartbeat : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Console, Station };

    Heartbeat(const DatabaseConnector& conn, EventLog& log, Kind kind, QString name,
              HeartbeatTiming timing, QObject* parent = nullptr);

    // Which start of this workstation beats: its claims are the live ones,
    // an earlier start's are leftovers. Set before signOn.
    void setStartId(const QString& startId) { m_startId = startId; }

    // Takes our row at start. Fails with a message for the operator when a
    // live workstation of the same kind already carries the name (then
    // nameTaken() is true), or when the database did not answer (busy, the
    // connection lost: worth another try).
    Status signOn();
    bool nameTaken() const { return m_nameTaken; }
    // Beats from now on.
    void start();
    // Stopped on purpose: the row says unmanned and nobody logged in, so no
    // one takes our silence for a crash.
    void signOff();

    void setManned(bool on);
    void setOperator(const QString& naam);
    // Whether this workstation's GSM modem says it can send and its sends
    // are not being refused: the others leave SMS to it meanwhile.
    void setModemReady(bool on);

    // Writes our row (again, when another program emptied the table) and
    // then looks at the room.
    void beat();
    // The room's state by the rows as they are now; unmanned when the
    // database cannot tell, so that alarms are forwarded rather than held.
    bool roomManned() const;
    // Another live workstation reports a GSM modem that can send. False when
    // the database cannot tell, so that a workstation tries rather than waits.
    bool anotherModemReady() const;

Q_SIGNALS:
    void roomMannedChanged(bool manned);

private:
    QString nowSeconds() const;
    QString kindText() const;
    Status writeRow();
    void lookAtRoom();
    // The next look comes when the freshest manned console would fall
    // silent, so its silence is seen within the staleness time, not a beat
    // later; at the latest at the next beat.
    void scheduleLook(qint64 secondsUntilUnmanned);
    void reportSilence(const QString& naam, qint64 hartslag, bool roomManned);

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    Kind m_kind;
    QString m_name;
    HeartbeatTiming m_timing;
    QString m_host;
    qint64 m_pid;
    bool m_manned = false;
    QString m_operator;
    bool m_modemReady = false;
    bool m_roomManned = false;
    bool m_roomKnown = false;
    bool m_writeFailureLogged = false;
    QSet<QString> m_silenceNoticed; // "naam;hartslag" of the silences this workstation has logged
    QSet<QString> m_silenceSettled; // ... and of those marked reported, by this workstation or another
    QTimer m_timer;
    QTimer m_lookTimer;
    QString m_startId;
    bool m_nameTaken = false;
};

} // namespace taviro
