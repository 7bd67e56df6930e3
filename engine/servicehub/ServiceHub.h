#pragma once

#include "ServiceClient.h"

#include <QObject>

#include <QList>

#include <memory>
#include <vector>

namespace taviro {

class AlarmEmailReceiverProxy;
class AlarmLamp;
class CommReceiverProxy;
class Console;
class DatabaseConnector;
class EventLog;
class Mes6ReceiverProxy;
class SpraakReceiverProxy;

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

    // The console whose SMS path may need a receiver's port; it learns the
    // receivers anew at every startServices.
    void setConsole(Console* console) { m_console = console; }

    // "Herinitialiseer poorten" as well as the start. The calls to the
    // services let the event loop run; a second request that comes meanwhile
    // (a second click, a timer) is carried out once this one is over.
    void startServices();
    void startAlarmEmailReceiver();
    // The serial receivers, "comsvr1", "comsvr2", ... in comports order.
    QList<CommReceiverProxy*> receiverControls() const;
    // Ends every service this console started.
    void stopAll();

Q_SIGNALS:
    void meldingReady();

private:
    ServiceClient::Options options(const QString& executable) const;
    void logReceiverMessage(const QString& text, int level);
    void startSerialReceivers();
    void startMes6Receiver();
    void startSpraakReceiver();
    void stopSerialReceivers();

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    AlarmLamp& m_lamp;
    QString m_binDir;
    DatabaseSettings m_database;
    std::unique_ptr<AlarmEmailReceiverProxy> m_alarmEmailReceiver;
    std::vector<std::unique_ptr<CommReceiverProxy>> m_receivers;
    std::unique_ptr<Mes6ReceiverProxy> m_mes6;
    std::unique_ptr<SpraakReceiverProxy> m_spraak;
    Console* m_console = nullptr;
    bool m_starting = false;
    bool m_startAgain = false;
};

} // namespace taviro
