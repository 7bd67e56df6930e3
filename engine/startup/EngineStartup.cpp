#include "EngineStartup.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "LegacyLinks.h"
#include "OperatorPrompt.h"
#include "PostgresAddress.h"
#include "SchemaExtensions.h"
#include "SchemaUpgrade.h"
#include "ServiceKiller.h"
#include "ServiceProxies.h"
#include "SingleInstance.h"
#include "SmsServiceProxy.h"

namespace taviro {

EngineStartup::EngineStartup(const Clock& clock, OperatorPrompt& prompt, QString title, const QString& programFolder)
    : m_clock(clock), m_prompt(prompt), m_title(std::move(title)),
      m_layout(ProgramLayout::forProgram(programFolder)),
      m_database(DatabaseSettings::fromEnvironment(programFolder))
{
}

EngineStartup::~EngineStartup() = default;

int EngineStartup::refuse(const QString& text, int exitCode)
{
    m_prompt.ask(text, m_title, PromptFlags::Exclamation);
    return exitCode;
}

QString EngineStartup::passwordInSettingsFile() const
{
    // Named in TAVIRO_DATABASE it is the caller's own business (the console
    // hands its database to its services that way, unseen by others).
    if (m_database.dialect != Dialect::PostgreSQL || !qEnvironmentVariable("TAVIRO_DATABASE").trimmed().isEmpty())
        return {};
    const auto address = PostgresAddress::parse(m_database.location);
    if (!address || address->password.isEmpty())
        return {};
    return QStringLiteral("%1 bevat een wachtwoord in het database-adres %2, en elk lid van de groep kan dat bestand "
                          "lezen. Haal het wachtwoord uit het adres en zet het in ~/.pgpass van elke gebruiker die "
                          "Taviro start (regel server:poort:database:gebruiker:wachtwoord, chmod 600), of in het "
                          "bestand dat PGPASSFILE noemt.")
        .arg(m_layout.databaseConf(), m_database.displayText());
}

int EngineStartup::takeLock(SingleInstance& lock, const QString& alreadyRunning)
{
    if (lock.acquire())
        return kOk;
    if (!lock.error().isEmpty())
        return refuse(lock.error(), kNoLock);
    return refuse(alreadyRunning, kAlreadyRunning);
}

void EngineStartup::openLog()
{
    m_folders = resolveFolders(m_layout);
    m_eventLog = std::make_unique<EventLog>(m_clock, m_folders.loggerPath);
    m_eventLog->setKeepDays(EventLog::keepDaysFromEnvironment());
    for (const QString& missing : provideStylesheets(m_layout.stylesheetFolder, m_folders.loggerPath))
        m_eventLog->writeLog(
            QStringLiteral("Kan het stijlblad %1 niet in %2 zetten").arg(missing, m_folders.loggerPath), 1);
}

int EngineStartup::prepareDatabase()
{
    if (const QString problem = passwordInSettingsFile(); !problem.isEmpty()) {
        m_eventLog->writeLog(problem, 0);
        return refuse(problem, kDatabaseUnusable);
    }
    // Refuse a database we cannot use before anything touches it.
    if (auto probe = DatabaseConnector::open(m_database); !probe) {
        m_serverRefused = m_database.dialect == Dialect::PostgreSQL;
        m_eventLog->writeLog(probe.error(), 0);
        return refuse(probe.error(), kDatabaseUnusable);
    }

    SchemaUpgrade upgrade(m_database, m_clock);
    if (!upgrade.convertDatabase()) {
        m_eventLog->writeLog(QStringLiteral("Kan de database niet converteren: %1").arg(upgrade.error()), 0);
        return refuse(QStringLiteral("Kan de database niet converteren.") + QStringLiteral("\n\n") + upgrade.error(),
                      kUpgradeFailed);
    }
    if (!upgrade.backupPath().isEmpty())
        m_eventLog->writeLog(QStringLiteral("Database bijgewerkt van versie %1 naar 29; reservekopie %2")
                                 .arg(upgrade.versionFound())
                                 .arg(upgrade.backupPath()),
                             0);
    auto conn = DatabaseConnector::open(m_database);
    Status extended = conn ? schema::ensureExtensions(**conn) : Status::failure(conn.error());
    if (!extended) {
        m_eventLog->writeLog(extended.error(), 0);
        return refuse(extended.error(), kDatabaseUnusable);
    }
    // Dispatches of the original installation know their lines only the old way.
    repairDispatchLinks(**conn, *m_eventLog);
    return kOk;
}

void EngineStartup::endLeftoverServices(bool endLeftovers)
{
    m_killer = std::make_unique<ServiceKiller>(m_layout.serviceFolder);
    if (!endLeftovers) {
        // Another program of this installation runs them now: they are not leftovers.
        m_killer->standDown();
        return;
    }
    // Leftovers of an earlier run hold their ports and mailbox: end them
    // before this program starts its own services.
    m_killer->killServices();
}

void EngineStartup::expectServicesToEnd()
{
    if (m_mail)
        m_mail->client().expectEnd();
    if (m_sms)
        m_sms->client().expectEnd();
}

void EngineStartup::stopServices()
{
    if (m_mail)
        m_mail->client().stop();
    if (m_sms)
        m_sms->client().stop();
    if (m_killer)
        m_killer->killServices();
}

int EngineStartup::openEngine()
{
    auto opened = DatabaseConnector::open(m_database);
    if (!opened) {
        m_serverRefused = m_database.dialect == Dialect::PostgreSQL;
        return refuse(opened.error(), kDatabaseUnusable);
    }
    m_conn = std::move(*opened);
    m_mail = std::make_unique<MailSenderProxy>(
        ServiceClient::Options::forService(QStringLiteral("TaviroMailSender"), m_layout.serviceFolder, m_database));
    m_sms = std::make_unique<SmsServiceProxy>(
        ServiceClient::Options::forService(QStringLiteral("TaviroSmsService"), m_layout.serviceFolder, m_database));
    return kOk;
}

} // namespace taviro
