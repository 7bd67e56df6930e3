// taviro: the control-room console.
//   taviro [gebruikersnaam password bemand|onbemand]
// Exit codes: 0 closed by the operator or ended by SIGTERM, SIGINT or SIGHUP,
// 1 another console runs on this installation, 3 the database cannot be used,
// 4 the database cannot be upgraded, 5 the console's lock cannot be taken.
#include "AlarmLamp.h"
#include "Clock.h"
#include "Console.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "FolderPaths.h"
#include "LegacyLinks.h"
#include "MainWindow.h"
#include "MessageBoxPrompt.h"
#include "ProgramLayout.h"
#include "SchemaExtensions.h"
#include "SchemaUpgrade.h"
#include "ServiceHub.h"
#include "ServiceKiller.h"
#include "ServiceProxies.h"
#include "SmsServiceProxy.h"
#include "SingleInstance.h"
#include "StderrPrompt.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <memory>

#include <sys/stat.h>

using namespace taviro;

namespace {

enum ExitCode { kAlreadyRunning = 1, kDatabaseUnusable = 3, kUpgradeFailed = 4, kNoLock = 5 };

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
    TerminationSignals endSignals;
    QApplication::setApplicationName(QStringLiteral("Taviro"));
    QApplication::setApplicationVersion(QStringLiteral(TAVIRO_VERSION));
    QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
    loadDutchTranslations(app);
    auto prompt = makePrompt();
    const QString title = QStringLiteral("Taviro");

    const QString programFolder = QApplication::applicationDirPath();
    const ProgramLayout layout = ProgramLayout::forProgram(programFolder);
    SingleInstance instance(layout.instanceLock());
    if (!instance.acquire()) {
        if (!instance.error().isEmpty()) {
            prompt->ask(instance.error(), title, PromptFlags::Exclamation);
            return kNoLock;
        }
        prompt->ask(QStringLiteral("Taviro is al opgestart."), title, PromptFlags::Exclamation);
        return kAlreadyRunning;
    }

    SystemClock clock;
    const FolderPaths folders = resolveFolders(layout);
    EventLog eventLog(clock, folders.loggerPath);
    for (const QString& missing : provideStylesheets(layout.stylesheetFolder, folders.loggerPath))
        eventLog.writeLog(QStringLiteral("Kan het stijlblad %1 niet in %2 zetten").arg(missing, folders.loggerPath), 1);
    const DatabaseSettings database = DatabaseSettings::fromEnvironment(programFolder);

    // Refuse a database we cannot use before anything touches it.
    if (auto probe = DatabaseConnector::open(database); !probe) {
        eventLog.writeLog(probe.error(), 0);
        prompt->ask(probe.error(), title, PromptFlags::Exclamation);
        return kDatabaseUnusable;
    }

    SchemaUpgrade upgrade(database, clock);
    if (!upgrade.convertDatabase()) {
        eventLog.writeLog(QStringLiteral("Kan de database niet converteren: %1").arg(upgrade.error()), 0);
        prompt->ask(QStringLiteral("Kan de database niet converteren.") + QStringLiteral("\n\n") + upgrade.error(), title,
                    PromptFlags::Exclamation);
        return kUpgradeFailed;
    }
    if (!upgrade.backupPath().isEmpty())
        eventLog.writeLog(QStringLiteral("Database bijgewerkt van versie %1 naar 29; reservekopie %2")
                              .arg(upgrade.versionFound())
                              .arg(upgrade.backupPath()),
                          0);
    {
        auto conn = DatabaseConnector::open(database);
        Status extended = conn ? schema::ensureExtensions(**conn) : Status::failure(conn.error());
        if (!extended) {
            eventLog.writeLog(extended.error(), 0);
            prompt->ask(extended.error(), title, PromptFlags::Exclamation);
            return kDatabaseUnusable;
        }
        // Dispatches of the original installation know their lines only the old way.
        repairDispatchLinks(**conn, eventLog);
    }

    // Leftovers of an earlier run hold their ports and mailbox: end them
    // before this console starts its own services.
    ServiceKiller killer(layout.serviceFolder);
    killer.killServices();

    auto opened = DatabaseConnector::open(database);
    if (!opened) {
        prompt->ask(opened.error(), title, PromptFlags::Exclamation);
        return kDatabaseUnusable;
    }
    const DatabaseConnector& conn = **opened;
    MailSenderProxy mail(ServiceClient::Options::forService(QStringLiteral("TaviroMailSender"), layout.serviceFolder, database));
    SmsServiceProxy sms(ServiceClient::Options::forService(QStringLiteral("TaviroSmsService"), layout.serviceFolder, database));
    Console console(conn, clock, eventLog, sms, mail);
    AlarmLamp lamp(eventLog);
    ServiceHub hub(conn, eventLog, lamp, layout.serviceFolder, database);
    hub.setConsole(&console);

    MainWindow window({conn, database, clock, *prompt, eventLog, killer, console, lamp, folders.imagesPath,
                       [&hub] { hub.startServices(); }, [&hub] { hub.stopAll(); },
                       [&hub] { hub.startAlarmEmailReceiver(); }});
    QObject::connect(&hub, &ServiceHub::meldingReady, &window, &MainWindow::showNewActueel);
    if (auto* boxes = dynamic_cast<MessageBoxPrompt*>(prompt.get()))
        boxes->setParent(&window);
    // The control room's screen belongs to the console: every panel is laid
    // out to be used whole at 1280x800 and up.
    window.showMaximized();
    window.load(app.arguments().mid(1));
    // An ending session or systemctl stop asks no questions: the services are
    // stopped as on closing, and the lock goes with the process.
    QObject::connect(&endSignals, &TerminationSignals::received, &window, [&](int signalNumber) {
        eventLog.writeLog(QStringLiteral("Taviro gestopt door signaal %1").arg(TerminationSignals::nameOf(signalNumber)), 0);
        console.setShuttingDown(true);
        lamp.putOut();
        hub.stopAll();
        killer.killServices();
        instance.release();
        QApplication::exit(0);
    });
    eventLog.writeLog(QStringLiteral("Taviro gestart met database %1").arg(database.displayText()), 1);
    // One line for installers and scripts that wait for the console to be up.
    std::fprintf(stderr, "Taviro gestart\n");
    std::fflush(stderr);
    return QApplication::exec();
}
