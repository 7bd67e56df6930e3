#pragma once

#include <QObject>
#include <QSerialPort>

namespace taviro {

class DatabaseConnector;
class EventLog;

// The signal lamp on the port with designation 5: opening the port lights it,
// closing it puts it out. A missing or broken port is logged, never fatal.
class AlarmLamp : public QObject
{
    Q_OBJECT
public:
    explicit AlarmLamp(EventLog& log, QObject* parent = nullptr);

    // Puts the lamp out, then looks up the lamp port again (at start-up and
    // when the ports are re-initialised). Returns whether a lamp is configured.
    bool prepare(const DatabaseConnector& conn);
    bool active() const { return m_active; }
    bool isLit() const { return m_port.isOpen(); }
    QString devicePath() const { return m_device; }

    void light();
    void putOut();

private:
    EventLog& m_log;
    QSerialPort m_port;
    QString m_device; // as configured; QSerialPort shortens /dev/ names
    bool m_active = false;
    bool m_reportedFailure = false;
};

} // namespace taviro
