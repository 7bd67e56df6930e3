// taviro: the control-room console.
//   taviro [gebruikersnaam password bemand|onbemand]
// Exit codes: 0 closed by the operator or ended by SIGTERM, SIGINT or SIGHUP,
// 1 another console runs on this installation, 3 the database cannot be used,
// 4 the database cannot be upgraded, 5 the console's lock cannot be taken.
#include "AlarmLamp.h"
#include "ArgumentMemory.h"
#include "Clock.h"
#include "CommandLine.h"
#include "Console.h"
#include "DatabaseConnector.h"
#include "DispatchClaims.h"
#include "EngineStartup.h"
#include "EventLog.h"
#include "Heartbeat.h"
#include "ServerClock.h"
#include "LampRelay.h"
#include "MainWindow.h"
#include "MessageBoxPrompt.h"
#include "ServiceHub.h"
#include "ServiceKiller.h"
#include "ServiceProxies.h"
#include "SmsServiceProxy.h"
#include "SqlValues.h"
#include "SingleInstance.h"
#include "StderrPrompt.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <functional>
#include <memory>

#include <sys/stat.h>

using namespace taviro;

namespace {

// How soon a console beside a station notices that the station has stopped.
constexpr int kPortsWatchMsecs = 5000;

std::unique_ptr<OperatorPrompt> makePrompt()
{
    if (qEnvironmentVariableIntValue("TAVIRO_NONINTERACTIVE") == 1)
        return std::make_unique<StderrPrompt>();
    return std::make_unique<MessageBoxPrompt>();
}

void loadDutchTranslations(QApplication& app)
{
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::Dutch), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qt);
}

} // namespace

int main(int argc, char** argv)
{
    // The database, its backups, the logs and the mail queue hold passwords
    // and phone numbers: nothing we create is open to anyone outside the
    // control room's group.
    ::umask(S_IRWXO);
    QApplication app(argc, argv);
    // The login's password is read once, here; from now on `ps` shows x's.
    const QStringList arguments = QApplication::arguments().mid(1);
    hideInArguments(argc, argv, parseCommandLine(arguments).wachtwoord);
    TerminationSignals endSignals;
    QApplication::setApplicationName(QStringLiteral("Taviro"));
    QApplication::setApplicationVersion(QStringLiteral(TAVIRO_VERSION));
    QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
    loadDutchTranslations(app);
    auto prompt = makePrompt();
    const QString title = QStringLiteral("Taviro");

    ServerClock clock;
    EngineStartup start(clock, *prompt, title, QApplication::applicationDirPath());
    SingleInstance instance(start.layout().instanceLock());
    if (int refused = start.takeLock(instance, QStringLiteral("Taviro is al opgestart.")))
        return refused;
    start.openLog();
    EventLog& eventLog = start.eventLog();
    if (int refused = start.prepareDatabase())
        return refused;
    // A station of this installation on this machine owns its ports, its
    // receivers and its modem: the console then starts and ends none of
    // them and leaves sending to the station.
    SingleInstance ports(start.layout().portsLock());
    bool ownsPorts = ports.acquire();
    if (!ownsPorts)
        eventLog.writeLog(QStringLiteral("Een Taviro-station op deze computer ontvangt en verstuurt de meldingen; "
                                         "deze console start geen eigen diensten."),
                          1);
    start.endLeftoverServices(ownsPorts);
    if (int refused = start.openEngine())
        return refused;
    const DatabaseConnector& conn = start.conn();
    const DatabaseSettings& database = start.database();
    ServiceKiller& killer = start.killer();
    // Leases, heartbeats and the room's time slots go by the database
    // server's clock, whatever this machine's says.
    (void)clock.sync(conn);
    QTimer clockSync;
    QObject::connect(&clockSync, &QTimer::timeout, &app, [&] { (void)clock.sync(conn); });
    clockSync.start(60000);

    const Workstation self = Workstation::starting(defaultStationName(), Workstation::consoleKind());
    Console console(conn, clock, eventLog, start.sms(), start.mail());
    console.setWorkstation(self);
    console.setSending(ownsPorts);
    AlarmLamp lamp(eventLog);
    ServiceHub hub(conn, eventLog, lamp, start.layout().serviceFolder, database);
    hub.setConsole(&console);

    Heartbeat heartbeat(conn, eventLog, Heartbeat::Kind::Console, defaultStationName(),
                        HeartbeatTiming::fromEnvironment());
    heartbeat.setStartId(self.startId);
    if (Status s = heartbeat.signOn(); !s) {
        // Refusing a console would leave the room without one: it goes on
        // and the operator knows two workstations share a name. It sends
        // nothing, though: the room knows the name's live start as the other
        // console's, so what this one claimed would be taken for a leftover
        // and sent a second time.
        eventLog.writeLog(s.error(), 0);
        if (heartbeat.nameTaken()) {
            console.setSending(false);
            eventLog.writeLog(QStringLiteral("Deze console verstuurt geen uitmeldingen zolang een andere werkplek "
                                             "dezelfde naam heeft."),
                              0);
        }
    }
    console.setRoomState([&heartbeat] { return heartbeat.roomManned(); });
    console.setModemElsewhere([&heartbeat] { return heartbeat.anotherModemReady(); });
    QObject::connect(&console, &Console::smsModemReadyChanged, &heartbeat, &Heartbeat::setModemReady);
    QObject::connect(&console, &Console::bemandChanged, &heartbeat, &Heartbeat::setManned);
    QObject::connect(&console, &Console::gebruikerChanged, &heartbeat, &Heartbeat::setOperator);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &heartbeat, &Heartbeat::signOff);
    heartbeat.start();

    // Asked each time: a console that started beside a station takes the
    // ports over once the station has stopped.
    std::function<void()> startServices = [&] {
        if (ownsPorts)
            hub.startServices();
    };
    std::function<void()> stopServices = [&] {
        if (ownsPorts)
            hub.stopAll();
    };
    std::function<void()> startAlarmEmailReceiver = [&] {
        if (ownsPorts)
            hub.startAlarmEmailReceiver();
    };
    MainWindow window({conn, database, clock, *prompt, eventLog, killer, console, lamp, start.folders().imagesPath,
                       startServices, stopServices, startAlarmEmailReceiver});
    QObject::connect(&hub, &ServiceHub::meldingReady, &window, &MainWindow::showNewActueel);
    // Beside a station the lamp hangs on the station's port: this console's
    // operator still lights it, through the station.
    LampRelayClient lampRelay(start.layout().portsLock());
    QObject::connect(&lampRelay, &LampRelayClient::lampPresentChanged, &console, [&](bool present) {
        if (!ownsPorts)
            console.setLampActive(present);
    });
    QObject::connect(&console, &Console::lampRequested, &lampRelay, [&](bool on) {
        if (!ownsPorts)
            lampRelay.setLit(on);
    });
    // The station beside this console may stop (an update, a crash it is
    // not restarted from, a machine without systemd): then nobody would
    // receive or send on this machine until the console was restarted. It
    // takes the ports over as soon as they are free.
    QTimer portsWatch;
    QObject::connect(&portsWatch, &QTimer::timeout, &window, [&] {
        if (!ports.acquire())
            return;
        portsWatch.stop();
        ownsPorts = true;
        eventLog.writeLog(QStringLiteral("Het Taviro-station op deze computer is gestopt; deze console ontvangt en "
                                         "verstuurt de meldingen nu zelf."),
                          0);
        killer.takeOver();
        console.setSending(true);
        console.getSmsSettings();
        hub.startServices();
        console.setLampActive(lamp.active());
    });
    if (!ownsPorts)
        portsWatch.start(kPortsWatchMsecs);
    if (auto* boxes = dynamic_cast<MessageBoxPrompt*>(prompt.get()))
        boxes->setParent(&window);
    // The control room's screen belongs to the console: every panel is laid
    // out to be used whole at 1280x800 and up.
    window.showMaximized();
    // An ending session or systemctl stop asks no questions: the services are
    // stopped as on closing, and the lock goes with the process. Connected
    // before the load, which may wait for an SMS: a stop asked for during
    // that wait ends the console too, though its event loop has not started.
    bool ended = false;
    QObject::connect(&endSignals, &TerminationSignals::received, &window, [&](int signalNumber) {
        ended = true;
        start.expectServicesToEnd();
        eventLog.writeLog(QStringLiteral("Taviro gestopt door signaal %1").arg(TerminationSignals::nameOf(signalNumber)), 0);
        console.setShuttingDown(true);
        heartbeat.signOff();
        lamp.putOut();
        hub.stopAll();
        start.stopServices();
        instance.release();
        ports.release();
        QApplication::exit(0);
    });
    window.load(arguments);
    if (ended)
        return 0;
    eventLog.writeLog(QStringLiteral("Taviro gestart met database %1").arg(database.displayText()), 1);
    // One line for installers and scripts that wait for the console to be up.
    std::fprintf(stderr, "Taviro gestart\n");
    std::fflush(stderr);
    return QApplication::exec();
}
