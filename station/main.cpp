// taviro-station: the alarm road without a window, for a control room that
// must keep forwarding when a console crashes or a workstation loses power.
// It takes reports in, creates and delivers dispatches, re-arms them, runs
// the watchdog and the receivers and senders of its own machine, and runs
// under the service manager (ready, watchdog pings and stopping messages).
//   taviro-station
// Exit codes: 0 ended by SIGTERM, SIGINT or SIGHUP; 1 the ports of this
// installation on this machine are taken (another station, or a console with
// its own services); 3 the database cannot be used (a file that is missing,
// read-only or no database: only a person can fix that); 4 the database
// cannot be upgraded; 5 the lock cannot be taken; 6 a live workstation
// elsewhere already carries this station's name; 7 the PostgreSQL server
// cannot be reached or refused us (worth trying again).
#include "AlarmLamp.h"
#include "Clock.h"
#include "Console.h"
#include "DatabaseConnector.h"
#include "DispatchClaims.h"
#include "EngineStartup.h"
#include "EventLog.h"
#include "Heartbeat.h"
#include "ServerClock.h"
#include "LampRelay.h"
#include "RoomStatus.h"
#include "SdNotify.h"
#include "ServiceHub.h"
#include "ServiceKiller.h"
#include "ServiceProxies.h"
#include "SingleInstance.h"
#include "SmsServiceProxy.h"
#include "StderrPrompt.h"
#include "TerminationSignals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

#include <sys/stat.h>

using namespace taviro;

namespace {
constexpr int kNameTaken = 6;
constexpr int kServerUnreachable = 7;

// The service manager starts the station again after a failure, but not
// after exit 3: a file that stays read-only would restart it for ever. A
// database server may come back, so a refusal from it gets its own code.
int databaseRefusal(int code, const EngineStartup& start)
{
    return start.databaseServerRefused() ? kServerUnreachable : code;
}

constexpr int kSignOnRetryMsecs = 5000;

// Only a name that a live workstation holds ends the start for good; a busy
// database or a lost connection is tried again, as systemd would not start
// the station again after exit status 6. False when a stop came meanwhile.
enum class SignedOn { Yes, NameTaken, Stopped };
SignedOn signOnWhenPossible(Heartbeat& heartbeat, const DatabaseConnector& conn, EventLog& log,
                            TerminationSignals& endSignals, const QString& name)
{
    bool told = false;
    for (;;) {
        const Status s = heartbeat.signOn();
        if (s)
            return SignedOn::Yes;
        if (heartbeat.nameTaken()) {
            log.writeLog(QStringLiteral("Taviro-station %1 niet gestart: %2").arg(name, s.error()), 0);
            return SignedOn::NameTaken;
        }
        if (!told)
            log.writeLog(QStringLiteral("Taviro-station %1 kan zich nog niet aanmelden (%2); het probeert het elke "
                                        "%3 seconden opnieuw.")
                             .arg(name, s.error())
                             .arg(kSignOnRetryMsecs / 1000),
                         0);
        told = true;
        QEventLoop wait;
        bool stopped = false;
        QTimer::singleShot(kSignOnRetryMsecs, &wait, &QEventLoop::quit);
        QObject::connect(&endSignals, &TerminationSignals::received, &wait, [&] {
            stopped = true;
            wait.quit();
        });
        wait.exec();
        if (stopped)
            return SignedOn::Stopped;
        if (conn.lost())
            (void)conn.restore();
    }
}
} // namespace

int main(int argc, char** argv)
{
    // The database, its backups, the logs and the mail queue hold passwords
    // and phone numbers: nothing we create is open to anyone outside the
    // control room's group.
    ::umask(S_IRWXO);
    QCoreApplication app(argc, argv);
    TerminationSignals endSignals;
    QCoreApplication::setApplicationName(QStringLiteral("Taviro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIRO_VERSION));
    QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
    SdNotify manager;
    StderrPrompt prompt;
    const QString name = defaultStationName();

    ServerClock clock;
    EngineStartup start(clock, prompt, QStringLiteral("Taviro-station"), QCoreApplication::applicationDirPath());
    // The station owns this machine's ports for its installation; a console
    // started later finds them taken and leaves receiving and sending to it.
    SingleInstance ports(start.layout().portsLock());
    if (int refused = start.takeLock(ports, QStringLiteral("De poorten van deze installatie zijn op deze computer al "
                                                           "in gebruik door een ander Taviro-station of door een "
                                                           "console met eigen diensten. Sluit die eerst af.")))
        return refused;
    start.openLog();
    EventLog& eventLog = start.eventLog();
    eventLog.setEchoToStderr(true);
    if (int refused = start.prepareDatabase())
        return databaseRefusal(refused, start);
    start.endLeftoverServices(true);
    if (int refused = start.openEngine())
        return databaseRefusal(refused, start);
    const DatabaseConnector& conn = start.conn();

    // Leases, heartbeats and the room's time slots go by the database
    // server's clock, whatever this machine's says.
    (void)clock.sync(conn);
    QTimer clockSync;
    QObject::connect(&clockSync, &QTimer::timeout, &app, [&] { (void)clock.sync(conn); });
    clockSync.start(60000);

    const Workstation self = Workstation::starting(name, Workstation::stationKind());
    Heartbeat heartbeat(conn, eventLog, Heartbeat::Kind::Station, name,
                        HeartbeatTiming::fromEnvironment());
    heartbeat.setStartId(self.startId);
    if (const SignedOn on = signOnWhenPossible(heartbeat, conn, eventLog, endSignals, name); on != SignedOn::Yes) {
        start.killer().killServices();
        return on == SignedOn::NameTaken ? kNameTaken : 0;
    }

    Console console(conn, clock, eventLog, start.sms(), start.mail());
    console.setWorkstation(self);
    // Nobody sits at a station: its reports carry the room's state, and
    // while a console is manned its operator takes new reports in.
    console.setRoomState([&heartbeat] { return heartbeat.roomManned(); });
    console.setIntakeOnlyWhenUnmanned(true);
    console.setModemElsewhere([&heartbeat] { return heartbeat.anotherModemReady(); });
    QObject::connect(&console, &Console::smsModemReadyChanged, &heartbeat, &Heartbeat::setModemReady);
    AlarmLamp lamp(eventLog);
    // The console beside this station has its operator, this station the lamp's port.
    LampRelayServer lampRelay(lamp, start.layout().portsLock());
    ServiceHub hub(conn, eventLog, lamp, start.layout().serviceFolder, start.database());
    hub.setConsole(&console);
    QObject::connect(&hub, &ServiceHub::meldingReady, &console, [&console] { (void)console.showNewActueel(); });
    QObject::connect(&heartbeat, &Heartbeat::roomMannedChanged, &console, [&console](bool manned) {
        // What waited for the operator who is no longer there goes out now.
        if (!manned)
            (void)console.showNewActueel();
    });

    QObject::connect(&endSignals, &TerminationSignals::received, &app, [&](int signalNumber) {
        start.expectServicesToEnd();
        eventLog.writeLog(QStringLiteral("Taviro-station %1 gestopt door signaal %2")
                              .arg(name, TerminationSignals::nameOf(signalNumber)),
                          0);
        manager.stopping();
        console.setShuttingDown(true);
        heartbeat.signOff();
        lamp.putOut();
        hub.stopAll();
        start.stopServices();
        ports.release();
        QCoreApplication::exit(0);
    });
    // The load sequence runs in the event loop, so a stop asked for meanwhile
    // is heard. The service manager hears "up" once the services run and the
    // backlog is taken in (every waiting report marked and its dispatches
    // committed), but before anything is sent: an SMS through a modem that
    // does not answer may take minutes, and systemd must not give up on the
    // start for that.
    QTimer::singleShot(0, &console, [&] {
        if (Status s = console.loadPlanningCache(); !s)
            eventLog.writeLog(QStringLiteral("Roosters kunnen niet worden geladen: %1").arg(s.error()), 0);
        console.getSmsSettings();
        hub.startServices();
        console.setLampActive(lamp.active());
        lampRelay.lampChanged();
        console.startTimers();
        eventLog.writeLog(QStringLiteral("Taviro-station %1 gestart met database %2")
                              .arg(name, start.database().displayText()),
                          1);
        // The first beat may find the room unmanned and take the backlog in.
        console.setSending(false);
        heartbeat.beat();
        heartbeat.start();
        (void)console.showNewActueel();
        console.setSending(true);
        manager.ready();
        manager.startWatchdog();
        // One line for scripts that wait for the station to be up.
        std::fprintf(stderr, "Taviro-station gestart\n");
        std::fflush(stderr);
        (void)console.deliverNextDispatch();
    });
    // `systemctl status` shows the room in one line, kept fresh every half minute.
    QTimer statusLine;
    QObject::connect(&statusLine, &QTimer::timeout, &console, [&] {
        if (auto room = readRoomStatus(conn, clock.now()); room)
            manager.send("STATUS=" + room->summary().toUtf8());
    });
    statusLine.start(30000);
    return QCoreApplication::exec();
}
