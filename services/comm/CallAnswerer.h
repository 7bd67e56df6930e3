#pragma once

#include "DatabaseSettings.h"
#include "ModemPort.h"

#include <QDateTime>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

namespace taviro::comm {

struct ReceiverTiming
{
    int commandMs = 5000;   // an ordinary AT command
    int connectMs = 60000;  // ATA until CONNECT
    int lineMs = 30000;     // between two lines of a report
    int guardMs = 1100;     // silence around "+++" before hanging up
    int retryOpenMs = 30000;
};

// The receiving modem on its own thread: keeps the port open and the modem
// set up while listening, answers each RING, takes the transmitter's report,
// stores it, acknowledges it and hangs up. The console can ask it to let go
// of the port (the SMS modem may share it) and to take it back.
class CallAnswerer : public QThread
{
    Q_OBJECT
public:
    CallAnswerer(DatabaseSettings database, ReceiverTiming timing, QObject* parent = nullptr);
    ~CallAnswerer() override;

    // Takes the port with these settings; waits for the first attempt to open
    // and set up the modem and says how it went.
    bool startListening(const modem::LineSettings& line, const QString& initString, int timeoutMinutes,
                        QString* problem);
    // Lets go of the port, after a call in progress; false when it could not within `waitMs`.
    bool stopListening(int waitMs);
    bool restartListening(QString* problem);
    bool isIdle() const { return !m_inCall; }
    bool portOpen() const { return m_portOpen; }
    int reportsStored() const { return m_stored; }
    void shutdown();

Q_SIGNALS:
    void meldingReady();
    void meldingMessage(const QString& text, int level);
    void logLine(const QString& text);

protected:
    void run() override;

private:
    bool openAndInitialise(modem::ModemPort& port, QString* problem);
    void takeCall(modem::ModemPort& port, bool alreadyConnected);
    // After a CONNECT: read, store and acknowledge; true when a report was
    // stored (now or, for a repeat, before).
    bool receiveReport(modem::ModemPort& port);
    void hangUp(modem::ModemPort& port);
    bool storeOnce(const class TransmitterReportReader& reader);
    void settle(int attempt, bool ok, const QString& problem);

    DatabaseSettings m_database;
    ReceiverTiming m_timing;
    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    QWaitCondition m_changed;
    modem::LineSettings m_line;
    QString m_initString;
    int m_callLimitMs = 15 * 60000;
    bool m_configured = false;
    bool m_wantListen = false;
    int m_attemptWanted = 0; // raised by every (re)start; the worker answers with the same number
    int m_attemptDone = 0;
    bool m_attemptOk = false;
    QString m_attemptProblem;
    std::atomic_bool m_stopping = false;
    std::atomic_bool m_portOpen = false;
    std::atomic_bool m_inCall = false;
    std::atomic_int m_stored = 0;
    bool m_keysReady = false; // the table of recent reports exists
};

} // namespace taviro::comm
