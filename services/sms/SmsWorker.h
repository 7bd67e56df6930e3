#pragma once

#include "DatabaseSettings.h"
#include "ModemPort.h"
#include "SmsDialogue.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <optional>

namespace taviro::sms {

// One SMS as the console hands it over: the modem's port and the message.
struct Transmission
{
    modem::LineSettings line;
    QString initString;
    bool isGsm = true;
    QString recipientName;
    QString mobileNumber;
    QString smsCentre;
    QString text;
};

// Drives the sending modem on its own thread. A transmission opens the port,
// sends every piece, reads the replies that came in, and closes the port
// again, so a receiver that shares it can take it back. Between
// transmissions the modem's store is read for replies now and then.
class SmsWorker : public QThread
{
    Q_OBJECT
public:
    SmsWorker(DatabaseSettings database, Timing timing, QObject* parent = nullptr);
    ~SmsWorker() override;

    // False while a transmission is still under way.
    bool submit(const Transmission& t);
    // The console is done waiting: a transmission that still runs stops after its current piece.
    void finish();
    bool lastSucceeded() const { return m_lastSucceeded; }
    // How long the console should wait for the transmission it last handed over.
    int timeoutMinutes() const { return m_timeoutMinutes; }
    void pollNow();
    void shutdown();

    int messagesSent() const { return m_sent; }
    int recoveries() const { return m_recoveries; }
    int acknowledged() const { return m_acknowledged; }

Q_SIGNALS:
    void transmissionOver();
    void meldingMessage(const QString& text, int level);
    void logLine(const QString& text);

protected:
    void run() override;

private:
    void transmit(modem::ModemPort& port, const Transmission& t);
    bool openAndInitialise(modem::ModemPort& port, const Transmission& t, QString* problem);
    // A modem that stopped answering: reopen the port and set it up again.
    void recover(modem::ModemPort& port, const Transmission& t, const QString& problem);
    void readReplies(modem::ModemPort& port);

    DatabaseSettings m_database;
    Timing m_timing;
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::optional<Transmission> m_pending;
    std::optional<Transmission> m_lastLine; // where replies are read between transmissions
    bool m_pollRequested = false;
    std::atomic_bool m_busy = false;
    std::atomic_bool m_abort = false;
    std::atomic_bool m_stopping = false;
    std::atomic_bool m_lastSucceeded = false;
    std::atomic_int m_timeoutMinutes = 2;
    std::atomic_int m_sent = 0;
    std::atomic_int m_recoveries = 0;
    std::atomic_int m_acknowledged = 0;
    int m_reference = 0;
    QString m_lastPollProblem;
};

} // namespace taviro::sms
