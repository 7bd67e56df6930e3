#pragma once

#include "ModemPort.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

namespace taviro::modem {

// A receiver that holds one port and reacts to the lines arriving on it, on
// its own thread. The request loop opens and closes the port through it and
// waits for the outcome, so a start call can say whether the port works.
class PortWorker : public QThread
{
    Q_OBJECT
public:
    explicit PortWorker(QObject* parent = nullptr);
    ~PortWorker() override;

    bool openPort(const LineSettings& line, QString* problem);
    void closePort();
    void shutdown();
    bool portOpen() const { return m_open; }

Q_SIGNALS:
    void meldingReady();
    void meldingMessage(const QString& text, int level);
    void logLine(const QString& text);

protected:
    void run() override;
    // After opening: set the device up; false (with a reason) gives up the port.
    virtual bool prepare(ModemPort& port, QString* problem);
    virtual void lineReceived(ModemPort& port, const QByteArray& line) = 0;
    const LineSettings& line() const { return m_active; }

private:
    QMutex m_mutex;
    QWaitCondition m_wake, m_done;
    LineSettings m_wanted, m_active;
    bool m_wantOpen = false;
    int m_request = 0, m_answered = 0;
    bool m_ok = false;
    QString m_problem;
    std::atomic_bool m_open = false;
    std::atomic_bool m_stopping = false;
};

} // namespace taviro::modem
