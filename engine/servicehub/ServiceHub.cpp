#include "ServiceHub.h"

#include "AlarmLamp.h"
#include "Console.h"
#include "EventLog.h"
#include "ReceiverProxies.h"
#include "Repositories.h"
#include "ServiceProxies.h"

#include <utility>

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
    if (m_starting) {
        m_startAgain = true;
        return;
    }
    m_starting = true;
    do {
        m_startAgain = false;
        startSerialReceivers();
        startMes6Receiver();
        startSpraakReceiver();
        startAlarmEmailReceiver();
        m_lamp.prepare(m_conn);
    } while (m_startAgain);
    m_starting = false;
}

QList<CommReceiverProxy*> ServiceHub::receiverControls() const
{
    QList<CommReceiverProxy*> list;
    for (const auto& r : m_receivers)
        list.append(r.get());
    return list;
}

void ServiceHub::stopSerialReceivers()
{
    if (m_console)
        m_console->setPortReceivers({});
    // Taken out first: stopping lets the event loop run, and a stop that
    // comes meanwhile (a termination signal) must find nothing left to stop.
    const auto stopping = std::exchange(m_receivers, {});
    for (const auto& r : stopping) {
        r->stopListening();
        r->closeAll();
    }
}

void ServiceHub::startSerialReceivers()
{
    stopSerialReceivers();
    auto ports = ComPortRepository(m_conn).withDesignation(1);
    if (!ports)
        return;
    QList<PortReceiver> forConsole;
    for (const ComPort& p : *ports) {
        auto receiver = std::make_unique<CommReceiverProxy>(options(QStringLiteral("TaviroComm")));
        receiver->setObjectName(QStringLiteral("comsvr%1").arg(m_receivers.size() + 1));
        connect(receiver.get(), &ServiceComponent::meldingReady, this, &ServiceHub::meldingReady);
        connect(receiver.get(), &ServiceComponent::meldingMessage, &m_log, &EventLog::writeLog);
        const SerialLine line{int(p.number), int(p.baudrate), p.string, int(p.timeout), int(p.databits), p.parity,
                              int(p.stopbits)};
        if (!receiver->startUp(line))
            m_log.writeLog(QStringLiteral("COM %1 Ontvang modus kan niet worden opgestart. Check de compoorten.").arg(p.number), 0);
        // Kept also when it failed: the SMS path must still find who owns the port.
        forConsole.append({int(p.number), receiver.get()});
        m_receivers.push_back(std::move(receiver));
    }
    if (m_console)
        m_console->setPortReceivers(forConsole);
}

void ServiceHub::startMes6Receiver()
{
    auto ports = ComPortRepository(m_conn).withDesignation(3);
    if (!ports) {
        m_log.writeLog(QStringLiteral("MES6 kan niet worden opgestart. Check de compoorten."), 0);
        return;
    }
    if (ports->isEmpty())
        return; // a running MES-6 receiver stays as it is
    if (const auto old = std::exchange(m_mes6, {}))
        old->stop();
    m_mes6 = std::make_unique<Mes6ReceiverProxy>(options(QStringLiteral("TaviroMes6")));
    connect(m_mes6.get(), &ServiceComponent::meldingReady, this, &ServiceHub::meldingReady);
    connect(m_mes6.get(), &ServiceComponent::meldingMessage, &m_log, &EventLog::writeLog);
    if (!m_mes6->start(int(ports->first().number), 1200))
        m_log.writeLog(QStringLiteral("MES6 kan niet worden opgestart. Check de compoorten."), 0);
}

void ServiceHub::startSpraakReceiver()
{
    auto ports = ComPortRepository(m_conn).withDesignation(4);
    if (!ports) {
        m_log.writeLog(QStringLiteral("Spraak kan niet worden opgestart. Check de compoorten."), 0);
        return;
    }
    if (ports->isEmpty())
        return;
    if (const auto old = std::exchange(m_spraak, {}))
        old->stop();
    m_spraak = std::make_unique<SpraakReceiverProxy>(options(QStringLiteral("TaviroSpraakReceiver")));
    connect(m_spraak.get(), &ServiceComponent::meldingMessage, &m_log, &EventLog::writeLog);
    if (!m_spraak->start(int(ports->first().number), QString::number(ports->first().baudrate)))
        m_log.writeLog(QStringLiteral("Spraak kan niet worden opgestart. Check de compoorten."), 0);
}

void ServiceHub::startAlarmEmailReceiver()
{
    auto settings = SettingsRepository(m_conn).load();
    if (!settings || !settings->has_value())
        return;
    if (const auto old = std::exchange(m_alarmEmailReceiver, {})) {
        old->stop();
        // Ended here, where waiting lets the event loop run, not in its destructor.
        old->client().stop();
    }
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
    stopSerialReceivers();
    if (const auto mes6 = std::exchange(m_mes6, {}))
        mes6->stop();
    if (const auto spraak = std::exchange(m_spraak, {}))
        spraak->stop();
    if (const auto mailbox = std::exchange(m_alarmEmailReceiver, {})) {
        mailbox->stop();
        mailbox->client().stop();
    }
}

} // namespace taviro
