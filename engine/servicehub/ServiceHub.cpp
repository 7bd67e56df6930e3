#include "ServiceHub.h"

#include "AlarmLamp.h"
#include "EventLog.h"
#include "Repositories.h"
#include "ServiceProxies.h"

namespace taviro {

ServiceHub::ServiceHub(const DatabaseConnector& conn, EventLog& log, AlarmLamp& lamp, QString binDir,
                       DatabaseSettings database, QObject* parent)
    : QObject(parent), m_conn(conn), m_log(log), m_lamp(lamp), m_binDir(std::move(binDir)),
      m_database(std::move(database))
{
}

ServiceHub::~ServiceHub()
{
    stopAll();
}

ServiceClient::Options ServiceHub::options(const QString& executable) const
{
    return ServiceClient::Options::forService(executable, m_binDir, m_database);
}

void ServiceHub::startServices()
{
    startAlarmEmailReceiver();
    m_lamp.prepare(m_conn);
}

void ServiceHub::startAlarmEmailReceiver()
{
    auto settings = SettingsRepository(m_conn).load();
    if (!settings || !settings->has_value())
        return;
    if (m_alarmEmailReceiver)
        m_alarmEmailReceiver->stop();
    m_alarmEmailReceiver = std::make_unique<AlarmEmailReceiverProxy>(options(QStringLiteral("TaviroAlarmEmailOntvangst")));
    connect(m_alarmEmailReceiver.get(), &ServiceComponent::meldingReady, this, &ServiceHub::meldingReady);
    connect(m_alarmEmailReceiver.get(), &ServiceComponent::meldingMessage, &m_log, &EventLog::writeLog);
    const Settings& s = **settings;
    if (!m_alarmEmailReceiver->start({s.OntvangstServer, int(s.OntvangstPort), s.OntvangstUserName,
                                      s.OntvangstPassword, int(s.OntvangstTimeout), int(s.OntvangstInterval)}))
        m_log.writeLog(QStringLiteral("Alarm e-mail ontvangst kan niet worden opgestart."), 1);
}

void ServiceHub::stopAll()
{
    if (m_alarmEmailReceiver) {
        m_alarmEmailReceiver->stop();
        m_alarmEmailReceiver.reset();
    }
}

} // namespace taviro
