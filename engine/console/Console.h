#pragma once

#include "Delivery.h"
#include "DispatchCreator.h"
#include "UnmannedSwitch.h"
#include "EscalationDuty.h"
#include "MessageComposer.h"
#include "ScheduleCache.h"
#include "ServiceInterfaces.h"
#include "SqlReportStore.h"
#include "StatementCache.h"
#include "Watchdog.h"
#include "WorkNotice.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>

class QEventLoop;

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;

// What the current-alarm list shows for one report.
struct ActueelItem
{
    qint64 meldingId = 0;
    QDateTime meldingDate;
    bool bemand = false; // decides the icon
    QString naam;        // melders.naam
    QString adres;       // melders.adres, shown in the "Alias" column
};

// A serial receiver and the COM port it listens on; one may share the SMS modem.
// The receivers are replaced whenever the ports are re-initialised, which may
// happen while an SMS waits for its modem, so the console holds them weakly.
struct PortReceiver
{
    int port = 0;
    QPointer<CommReceiver> receiver;
};

// The console's state and work apart from drawing: manned state, operator,
// intake of new reports, acknowledgement, the SMS wait and the two timers.
// All of it runs on the thread that owns the object (the window's thread).
class Console : public QObject, private SmsGateway
{
    Q_OBJECT
public:
    Console(const DatabaseConnector& conn, const Clock& clock, EventLog& log, SmsService& sms,
            MailSender& mail, QObject* parent = nullptr);
    ~Console() override;

    // Who this console or station is to the room (name, kind, this start):
    // set before the timers start.
    void setWorkstation(const Workstation& self);
    const Workstation& workstation() const { return m_self; }

    bool bemand() const { return m_bemand; }
    void setBemand(bool on);
    qint64 gebruikerId() const { return m_gebruikerId; }
    void setGebruikerId(qint64 id) { m_gebruikerId = id; }
    // The logged-in operator's name as the other workstations see it.
    void setGebruikerNaam(const QString& naam)
    {
        if (naam != m_gebruikerNaam)
            Q_EMIT gebruikerChanged(m_gebruikerNaam = naam);
    }
    bool smsBusy() const { return m_smsBusy; }
    bool lampActive() const { return m_lampActive; }
    void setLampActive(bool on) { m_lampActive = on; }
    // Ends an SMS wait at once and stops all further sending.
    void setShuttingDown(bool on);
    // Where the room's manned state comes from when other consoles count
    // too; a report is stamped manned when this console or the room is.
    void setRoomState(std::function<bool()> roomManned) { m_roomManned = std::move(roomManned); }
    // A program without an operator leaves new reports to the manned
    // consoles while there are any, and takes them in once the room is
    // unmanned: a report that came in just after the last manned console
    // died is then forwarded instead of waiting for an operator who is gone.
    void setIntakeOnlyWhenUnmanned(bool on) { m_intakeOnlyWhenUnmanned = on; }
    // Whether another live workstation reports a GSM modem that can send
    // (its heartbeat says so); while one does, this station leaves SMS to it
    // whenever its own modem cannot send.
    void setModemElsewhere(std::function<bool()> anotherReady)
    {
        m_delivery.modemStanding().setAnotherReady(std::move(anotherReady));
    }
    // Off when a station on this machine owns the modem and sends for it:
    // this console then neither watches the sending port nor delivers.
    void setSending(bool on) { m_sending = on; }
    void setPortReceivers(QList<PortReceiver> receivers) { m_receivers = std::move(receivers); }
    // The pause after an SMS transmission before the port goes back to a receiver.
    void setSmsSettleMsecs(int ms) { m_settleMsecs = ms; }
    // How soon a port the receiver did not take back after an SMS is offered to it again.
    void setPortBackRetryMsecs(int ms) { m_portBackRetryMsecs = ms; }

    Status loadPlanningCache() { return m_cache.load(m_conn, m_log); }
    // Reads the sending port and hands it to the SMS service to look after.
    void getSmsSettings();
    const SmsRequest& smsSettings() const { return m_smsTemplate; }
    // Has the SMS service read the modem's replies now and waits until it is
    // done, lending it a receiver's shared port meanwhile. Without
    // `evenUnshared` only a shared port is read: the service reads its own.
    void pollSmsReplies(bool evenUnshared);

    // Takes in every stored, unseen report (mark seen, stamp the manned
    // state, create dispatches, queue the copy e-mails) in runs of up to a
    // hundred per transaction, then lists them. Returns the items the list
    // gains.
    QList<ActueelItem> showNewActueel();
    // The database side of acknowledging a report at the console.
    Status bevestigMelding(qint64 meldingId);
    // One delivery pass, unless an SMS is on its way; a pass that delivered
    // something is followed by the next one as soon as the event loop is free.
    bool deliverNextDispatch();
    // While manned: the unmanned schedule's switch owed since this console
    // was manned, however late the timer, made once.
    void checkOnbemandRooster();
    // The reports the window lists; those another station acknowledges leave
    // the list at the next tick through meldingAcknowledged.
    void noteListed(const QList<ActueelItem>& items);
    void dropAcknowledgedElsewhere();
    // Every few seconds once the window keeps a list: reports another
    // station took in are listed here too (with the beep and, when manned,
    // the lamp) and those acknowledged elsewhere leave the list. Without
    // `wholeList` only reports above the keys already looked at are read.
    void followOtherStations(bool wholeList = false);
    // Transmitters a receiver added, whoever took their report in: the tree
    // is rebuilt here when one appeared since the last look.
    void noticeNewTransmitters();
    void keepListUpToDate();

    // Every second, and at once when another workstation announces work:
    // reports waiting to be taken in, then dispatches waiting to be sent, so
    // what one workstation creates for another does not wait for a minute.
    void lookForWork();
    void dispatchTick(); // every minute
    // Every minute, however late or often: the quarter-hour work this
    // station owes itself once it is in a new quarter, and the room's
    // quarter-hour duties (watchdog, re-arming) that nobody did yet.
    void minuteTick();
    // The whole quarter-hour work at once: this station's and the room's.
    void quarterHourTick();
    void startTimers();

    SmsAttempt sendSMS(const QString& mobielnr, const QString& naam, const QString& text) override;
    SmsAttempt settleSend(const QString& sendId) override;
    void abandonSend(const QString& sendId) override;
    Result<qint64> makeTestAlarms(int transmitters, int alarms);
    // What became of a test report after intake, for the installer: taken
    // in or not, and each dispatch with its recipient and state, or why
    // nobody was on duty for it. Dutch, several lines.
    Result<QString> describeTestReport(qint64 meldingId);
    // A short test message to one recipient now, outside every dispatch, so
    // an installer can try the modem and the mail server. Nothing is stored
    // as a report or a dispatch. The error is the modem's or the mail
    // server's own reason; the wait is bounded like that of an alarm's SMS.
    Status sendTestSms(const QString& mobielnr, const QString& naam);
    Status sendTestMail(const QString& addresses, const QString& naam);

    ScheduleCache& scheduleCache() { return m_cache; }
    EscalationDuty& escalation() { return m_escalation; }
    Delivery& delivery() { return m_delivery; }

Q_SIGNALS:
    void actueelAdded(const taviro::ActueelItem& item);
    void beep();                 // 2200 Hz for 500 ms
    void lampRequested(bool on); // only when a lamp port is configured
    void melderTreeChanged();    // receivers added transmitters
    void bemandChanged(bool bemand);
    void gebruikerChanged(const QString& naam);
    void loginRequested(); // the unmanned schedule switched the console
    void meldingAcknowledged(qint64 meldingId);
    // The GSM modem's state, for the status bar.
    void smsModemStateChanged(const QString& text, bool ready);
    // Whether this station's modem counts as able to send, for its heartbeat.
    void smsModemReadyChanged(bool ready);

private:
    // A report this station took in, for the list.
    struct TakenIn
    {
        qint64 meldingId = 0;
        std::optional<ListEntry> listed;
    };
    // Within an open transaction: marks one report seen; `claimed` is false
    // when another station had it already.
    Status claim(qint64 meldingId, bool& claimed);
    Status takeIn(const QList<qint64>& ids, const CreationSettings& settings,
                  QList<TakenIn>& taken);
    void takeInBacklog(const QList<qint64>& ids, const CreationSettings& settings,
                       QList<TakenIn>& taken);
    void logNotTakenIn(const QList<qint64>& run, const Status& s);
    void ownQuarterWork();
    void roomQuarterDuties();
    void scheduleNextPass();
    // Adds an item that is new to the list, with its beep and lamp.
    void announce(const ActueelItem& item);
    void watchSmsModem();
    void noteModemState(const QString& text, bool ready);
    // The SMS wait: one send under its own id, and how it stood when the wait ended.
    SmsAttempt transmitSms(const QString& mobielnr, const QString& naam, const QString& text);
    // The last receiver listening on COM `port`, if any.
    CommReceiver* receiverOnPort(int port) const;
    // Gives the SMS port back to the receiver that listens on it now; when it
    // cannot take it, that is logged once and tried again on its own.
    bool takePortBack(int port);
    void retryPortBack();
    // Between units of work: a lost connection to a shared database server is
    // logged once and reopened; false while it stays away.
    bool databaseReachable();
    void noticeVanishedFile();

    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    Workstation m_self;
    SmsService& m_sms;
    MailSender& m_mail;
    ScheduleCache m_cache;
    MessageComposer m_composer;
    DispatchCreator m_creator;
    EscalationDuty m_escalation;
    Delivery m_delivery;
    Watchdog m_watchdog;
    SqlReportStore m_store;
    StatementCache m_sql;
    UnmannedSwitch m_unmannedSwitch;

    bool m_bemand = false;
    QDateTime m_mannedSince; // switch times before it are not this console's to make
    qint64 m_ownQuarter = 0; // the quarter whose own work this station did
    bool m_stampBemand = false; // the manned state this intake pass stamps
    std::function<bool()> m_roomManned;
    bool m_intakeOnlyWhenUnmanned = false;
    bool m_sending = true;
    qint64 m_gebruikerId = 0;
    QString m_gebruikerNaam;
    bool m_smsBusy = false;
    bool m_lampActive = false;
    bool m_shuttingDown = false;
    bool m_passScheduled = false;
    bool m_outageLogged = false;
    // Every report up to this key has been looked at for the list; a report
    // still waiting to be taken in holds it back, whatever comes after it.
    qint64 m_lookedAtUpTo = 0;
    bool m_fileVanishedLogged = false;
    qint64 m_melderMark = -1; // the highest transmitter key the tree was built with; -1 before the first look
    QSet<qint64> m_listed;
    int m_settleMsecs = 500;
    SmsRequest m_smsTemplate;
    bool m_smsPortShared = false; // a receiving modem is configured on the sending port
    QList<PortReceiver> m_receivers;
    QPointer<QEventLoop> m_smsWait;
    QTimer m_portBackRetry;
    int m_portBackRetryMsecs = 30000;
    int m_portBackPort = 0;
    bool m_portBackPending = false; // logged as not taken back, not yet taken back
    QPointer<QEventLoop> m_mailTestWait;
    QTimer m_uitmeldTimer;
    QTimer m_dagelijkseTimer;
    QTimer m_smsPollTimer;
    QTimer m_listingTimer;
    QTimer m_workTimer;
    // Listens once the timers run: a console that is only being driven (a
    // test, the test window) acts when it is told to, not on others' work.
    std::unique_ptr<WorkListener> m_workListener;
};

} // namespace taviro
