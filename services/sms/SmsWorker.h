#pragma once

#include "DatabaseSettings.h"
#include "ModemHealth.h"
#include "ModemPort.h"
#include "SmsDialogue.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <optional>

namespace taviro {
class DatabaseConnector;
}

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
// again, so a receiver that shares it can take it back. The watched modem is
// read for replies and asked about its SIM, network and signal now and then:
// on its own when the port is ours alone, only when asked (pollNow) while a
// receiver shares it, since the console must hand the port over first.
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
    // Why the last transmission failed, in the modem's own words where it gave
    // any ("+CMS ERROR: 330 ..."); empty after a success.
    QString lastFailure() const;
    // How long the console should wait for the transmission it last handed over.
    int timeoutMinutes() const { return m_timeoutMinutes; }
    // The installation's country ("31"): a number in national form is one of its.
    void setCountryCode(const QString& code) { m_countryCode = code; }
    // The modem to look after from now on; nothing: none. Checked at once.
    void watch(std::optional<Transmission> line, bool sharedWithReceiver);
    // Reads replies now; repliesRead() follows when `report` is set.
    void pollNow(bool report = false);
    void shutdown();

    int messagesSent() const { return m_sent; }
    int recoveries() const { return m_recoveries; }
    int acknowledged() const { return m_acknowledged; }

Q_SIGNALS:
    void transmissionOver();
    void repliesRead();
    void meldingMessage(const QString& text, int level);
    void logLine(const QString& text);
    void modemState(int comNumber, const QString& text, bool ready);

protected:
    void run() override;

private:
    struct Watched
    {
        Transmission line;
        bool shared = false;
    };

    void transmit(modem::ModemPort& port, const Transmission& t);
    bool openAndInitialise(modem::ModemPort& port, const Transmission& t, QString* problem);
    // A modem that stopped answering: reopen the port and set it up again.
    void recover(modem::ModemPort& port, const Transmission& t, const QString& problem);
    // One visit to the watched modem: set-up (and a reset when it does not
    // answer), the health questions, the replies.
    void attend(modem::ModemPort& port, const Transmission& line, bool check, bool poll);
    void noteHealth(int comNumber, const ModemHealth& health);
    void readReplies(modem::ModemPort& port);
    void handleReply(SmsDialogue& dialogue, const ReadMessage& m, const DatabaseConnector& conn);
    // A level-1 line once per service run, for what stays in the modem's store.
    void noteOnce(const QString& text);

    DatabaseSettings m_database;
    Timing m_timing;
    QString m_countryCode = QStringLiteral("31");
    QMutex m_mutex;
    QWaitCondition m_wake;
    std::optional<Transmission> m_pending;
    std::optional<Watched> m_watched;
    bool m_watchChanged = false;
    bool m_pollRequested = false;
    bool m_pollReport = false;
    std::atomic_bool m_busy = false;
    std::atomic_bool m_abort = false;
    std::atomic_bool m_stopping = false;
    std::atomic_bool m_lastSucceeded = false;
    mutable QMutex m_failureMutex;
    QString m_lastFailure;
    std::atomic_int m_timeoutMinutes = 2;
    std::atomic_int m_sent = 0;
    std::atomic_int m_recoveries = 0;
    std::atomic_int m_acknowledged = 0;
    int m_reference = 0;

    // Worker thread only.
    ModemHealth m_health;
    int m_healthCom = 0;
    QString m_shownState;
    QString m_lastPollProblem;
    QHash<QString, QDeadlineTimer> m_partsWaiting;
    QSet<QString> m_noted;
    bool m_textListingNoted = false;
};

} // namespace taviro::sms
