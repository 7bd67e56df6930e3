#pragma once

#include "ServiceClient.h"

#include <QObject>

#include <memory>

namespace taviro {

class AlarmEmailReceiverProxy;
class AlarmLamp;
class DatabaseConnector;
class EventLog;

// startServices and startAlarmEmailReceiver: the receivers the configuration
// names, and the lamp port. Their events reach the console through
// meldingReady (take reports in) and the event log.
class ServiceHub : public QObject
{
    Q_OBJECT
public:
    ServiceHub(const DatabaseConnector& conn, EventLog& log, AlarmLamp& lamp, QString binDir,
               DatabaseSettings database, QObject* parent = nullptr);
    ~ServiceHub() override;

    void startServices();
    void startAlarmEmailReceiver();
    // Ends every service this console started.
    void stopAll();

Q_SIGNALS:
    void meldingReady();

private:
    ServiceClient::Options options(const QString& executable) const;
    void logReceiverMessage(const QString& text, int level);

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    AlarmLamp& m_lamp;
    QString m_binDir;
    DatabaseSettings m_database;
    std::unique_ptr<AlarmEmailReceiverProxy> m_alarmEmailReceiver;
};

} // namespace taviro
