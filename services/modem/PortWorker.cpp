#include "PortWorker.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace taviro::modem {

PortWorker::PortWorker(QObject* parent) : QThread(parent) {}

PortWorker::~PortWorker()
{
    shutdown();
    wait();
}

bool PortWorker::openPort(const LineSettings& line, QString* problem)
{
    QMutexLocker lock(&m_mutex);
    m_wanted = line;
    m_wantOpen = true;
    const int request = ++m_request;
    m_wake.wakeAll();
    QDeadlineTimer deadline(20000);
    while (m_answered < request && !deadline.hasExpired())
        m_done.wait(&m_mutex, deadline);
    if (m_answered < request) {
        *problem = QStringLiteral("de poort reageert niet op tijd");
        return false;
    }
    *problem = m_problem;
    return m_ok;
}

void PortWorker::closePort()
{
    QMutexLocker lock(&m_mutex);
    m_wantOpen = false;
    ++m_request;
    m_wake.wakeAll();
    QDeadlineTimer deadline(20000);
    while (m_open && !deadline.hasExpired())
        m_done.wait(&m_mutex, deadline);
}

void PortWorker::shutdown()
{
    m_stopping = true;
    QMutexLocker lock(&m_mutex);
    m_wake.wakeAll();
}

bool PortWorker::prepare(ModemPort&, QString*)
{
    return true;
}

void PortWorker::run()
{
    ModemPort port;
    int handled = 0;
    while (!m_stopping) {
        bool wantOpen = false;
        int request = 0;
        {
            QMutexLocker lock(&m_mutex);
            if (m_request == handled && !port.isOpen())
                m_wake.wait(&m_mutex, 1000);
            wantOpen = m_wantOpen;
            request = m_request;
            if (request != handled)
                m_active = m_wanted;
        }
        if (m_stopping)
            break;
        if (request != handled) {
            // Every open or close request starts from a closed port.
            port.close();
            m_open = false;
            QString problem;
            const bool ok = wantOpen && port.open(m_active, &problem) && prepare(port, &problem);
            if (!ok)
                port.close();
            m_open = ok;
            QMutexLocker lock(&m_mutex);
            handled = request;
            m_answered = request;
            m_ok = ok || !wantOpen;
            m_problem = problem;
            m_done.wakeAll();
            continue;
        }
        if (!port.isOpen()) {
            if (m_open) {
                Q_EMIT meldingMessage(QStringLiteral("COM %1 is weggevallen").arg(m_active.comNumber), 0);
                m_open = false;
            }
            continue;
        }
        if (const auto l = port.readLine(200))
            lineReceived(port, *l);
    }
    port.close();
    m_open = false;
}

} // namespace taviro::modem
