#include "AlarmLamp.h"

#include "ComPortDevices.h"
#include "EventLog.h"
#include "Repositories.h"

namespace taviro {

AlarmLamp::AlarmLamp(EventLog& log, QObject* parent) : QObject(parent), m_log(log) {}

bool AlarmLamp::prepare(const DatabaseConnector& conn)
{
    putOut();
    m_active = false;
    auto ports = ComPortRepository(conn).withDesignation(5);
    if (!ports) {
        m_log.writeLog(QStringLiteral("Lamp kan niet worden opgestart. Check de compoorten."), 0);
        m_log.writeLog(ports.error(), 1);
        return false;
    }
    if (ports->isEmpty())
        return false;
    const ComPort& row = ports->first();
    m_active = true;
    m_device = devicePathForCom(int(row.number));
    m_port.setPortName(m_device);
    m_port.setBaudRate(9600);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_reportedFailure = false;
    m_log.writeLog(QStringLiteral("LAMP Gestart op COM ") + QString::number(row.number), 0);
    return true;
}

void AlarmLamp::light()
{
    if (!m_active || m_port.isOpen())
        return;
    if (m_port.open(QIODevice::ReadWrite)) {
        m_reportedFailure = false;
        return;
    }
    // Said once until it works again, so a dead lamp does not flood the log.
    if (!m_reportedFailure)
        m_log.writeLog(QStringLiteral("Lamp op %1 kan niet worden aangezet: %2").arg(m_device, m_port.errorString()), 0);
    m_reportedFailure = true;
}

void AlarmLamp::putOut()
{
    if (m_port.isOpen())
        m_port.close();
}

} // namespace taviro
