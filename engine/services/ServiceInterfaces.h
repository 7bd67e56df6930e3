#pragma once

#include "Result.h"
#include "ServiceComponent.h"

#include <QString>

namespace taviro {

// The line settings of a serial port as the comports table holds them.
struct SerialLine
{
    int number = 0; // COM number, 1 = COM1
    int baudrate = 9600;
    QString initString;
    int timeout = 0; // minutes
    int databits = 8;
    QString parity = QStringLiteral("N");
    int stopbits = 1;
};

// Serial receiver, one process per receiving port.
class CommReceiver : public ServiceComponent
{
    Q_OBJECT
public:
    using ServiceComponent::ServiceComponent;
    virtual bool startUp(const SerialLine& line) = 0;
    // Releases the port for the SMS service; true when it was released.
    virtual bool stopListening() = 0;
    // Takes the port back after an SMS; false when the receiver could not.
    virtual bool restartListening() = 0;
    virtual void closeAll() = 0;
    virtual bool portOpen() = 0;
    // True when no call is in progress.
    virtual bool isIdle() = 0;
};

class Mes6Receiver : public ServiceComponent
{
    Q_OBJECT
public:
    using ServiceComponent::ServiceComponent;
    virtual bool start(int portNumber, int baudrate) = 0;
    virtual void stop() = 0;
};

class SpraakReceiver : public ServiceComponent
{
    Q_OBJECT
public:
    using ServiceComponent::ServiceComponent;
    virtual bool start(int portNumber, const QString& baudrate) = 0;
    virtual void stop() = 0;
};

struct MailboxSettings
{
    QString server;
    int port = 110;
    QString userName, password;
    int timeout = 60;  // seconds
    int interval = 5;  // minutes
};

class AlarmEmailReceiver : public ServiceComponent
{
    Q_OBJECT
public:
    using ServiceComponent::ServiceComponent;
    virtual bool start(const MailboxSettings& mailbox) = 0;
    virtual void stop() = 0;
};

// One SMS to one recipient through the sending modem.
struct SmsRequest
{
    SerialLine line;
    bool isGsm = false;
    QString recipientName;
    QString mobileNumber;
    QString sender;
    QString text;
    QString smsCentre;
};

// What became of one send, known by the id the console gave it.
struct SmsOutcome
{
    enum class State {
        Sent,    // every piece was accepted by the network
        Failed,  // the modem or the service did not send it; `reason` says why
        Busy,    // refused: another send was still under way; nothing went out
        Running, // still under way, or the service could not be asked
        Unknown, // the service does not know the id: it was restarted, nothing of it is under way
    };
    State state = State::Unknown;
    QString reason;
};

// Sending is asynchronous: send() returns at once and sendEnded() with the
// same id tells that this transmission is over and how it went. An outcome
// belongs to its id only: a late report of an earlier send says nothing about
// a later one.
class SmsService : public ServiceComponent
{
    Q_OBJECT
public:
    using ServiceComponent::ServiceComponent;
    virtual void send(const SmsRequest& request, const QString& sendId) = 0;
    virtual int sendTimeoutMinutes() = 0;
    // Asks what became of a send whose end the console did not see.
    virtual SmsOutcome outcome(const QString& sendId) = 0;
    // A send that stays under way far beyond any modem's time: the service
    // is started afresh, so nothing of that send can still go out and its
    // outcome is known (Unknown: not sent).
    virtual void restartService() {}
    virtual void finish() = 0;
    // The modem to look after between sends: its replies are read and its
    // SIM, network and signal checked. With `shared` a receiver holds the
    // port, and the service touches it only when asked to read the replies.
    virtual void watch(const SmsRequest& line, bool shared)
    {
        Q_UNUSED(line);
        Q_UNUSED(shared);
    }
    // Reads the replies now; true when repliesRead() follows once that is done.
    virtual bool readReplies() { return false; }

Q_SIGNALS:
    void sendEnded(const QString& sendId, const taviro::SmsOutcome& outcome);
    void repliesRead();
    // "GSM-modem op COM 3: klaar, signaal 17/31", for the status bar.
    void modemStateChanged(const QString& text, bool ready);
};

struct MailMessage
{
    QString address; // one or more, separated by ';' or ','
    QString recipientName;
    QString subject;
    QString body;
    QString attachmentPath; // empty: no attachment
};

// The mail sender of this workstation. The engine never hands it alarm
// mails: it writes them into the room's outbox in the database, in the
// transaction that decides them, and every workstation's sender drains that.
class MailSender : public ServiceComponent
{
    Q_OBJECT
public:
    using ServiceComponent::ServiceComponent;
    // Sends a test mail now, beside the queue; testSendDone() follows with
    // the mail server's answer. Returns how many addresses will be tried, or
    // the reason it cannot start.
    virtual Result<int> startTestSend(const MailMessage& mail, int secondsPerAddress)
    {
        Q_UNUSED(mail);
        Q_UNUSED(secondsPerAddress);
        return Result<int>::failure(QStringLiteral("deze mailverzending kent geen test"));
    }

Q_SIGNALS:
    void testSendDone(bool sent, const QString& reason);
};

} // namespace taviro

Q_DECLARE_METATYPE(taviro::SmsOutcome)
