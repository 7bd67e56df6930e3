#pragma once

#include "DeliveryRetry.h"
#include "DispatchClaims.h"
#include "ModemStanding.h"
#include "DutySlots.h"
#include "OwedMails.h"
#include "Rows.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;
class MessageComposer;

// How one SMS attempt stood when the console stopped waiting for it.
struct SmsAttempt
{
    enum class Result {
        Sent,    // the modem accepted every piece
        NotSent, // nothing of it is under way any more; `reason` says why
        Running, // the wait ran out while the service may still be sending it
    };
    Result result = Result::NotSent;
    QString sendId; // the send's own id, to ask about it later
    QString reason;
};

// The console's way of getting one SMS out (it owns the modem settings and
// the wait for the SMS service).
class SmsGateway
{
public:
    virtual ~SmsGateway() = default;
    virtual SmsAttempt sendSMS(const QString& mobielnr, const QString& naam, const QString& text) = 0;
    // What became of a send that was still running when the wait ran out.
    virtual SmsAttempt settleSend(const QString& sendId) = 0;
    // Makes sure a send that stays under way far too long can no longer go out.
    virtual void abandonSend(const QString& sendId) = 0;
};

// Sends pending dispatches, one per pass, newest first, and re-arms SMS
// dispatches that nobody acknowledged so later passes send them again. A
// dispatch that cannot go out pauses (DeliveryRetry) and never holds up
// older ones.
class Delivery
{
public:
    Delivery(const DatabaseConnector& conn, const Clock& clock, EventLog& log,
             const MessageComposer& composer, SmsGateway& sms);

    // One pass. Dispatches that cannot go out now (recipient deleted, gone or
    // without any way to be reached, mail refused) are noted as failing and
    // passed over in the same pass. True when the next pass should follow at
    // once: a dispatch was delivered, or an SMS failed (the pass then ends,
    // so a new alarm is not kept waiting behind a modem's time-out, and the
    // next pass goes on past the failed dispatch, which is pausing).
    bool deliverNextDispatch();
    enum class Sent {
        Yes,
        No,
        Unreadable, // the dispatch's text: the database is away
        Running,    // the service may still be sending it: the dispatch stays claimed
    };
    Sent sendSmsDispatch(qint64 uitmeldId, const Ontvanger& recipient);
    // Queues the e-mail in the outbox in the transaction that records it;
    // the mail senders of the room take it from there.
    Sent sendEmailDispatch(qint64 uitmeldId, const Ontvanger& recipient);
    // At a quarter-hour mark: sent but unacknowledged SMS dispatches of
    // today or yesterday with attempts left become pending again, once per
    // mark for the whole room, and none that went already since the mark.
    // Returns how many (0 when another workstation had the mark).
    int rearmSmsDispatches();
    // Whether the room has yet to re-arm at the current mark (a read only).
    bool rearmDue() const;
    // Who claims and re-arms: set before the first pass.
    void setWorkstation(const Workstation& self);

    void setShuttingDown(bool on) { m_shuttingDown = on; }
    // Whether this station sends SMS. While it does not, dispatches that owe
    // only an SMS are left unclaimed for a station whose modem can, and of a
    // dispatch that owes both only the e-mail goes from here.
    ModemStanding& modemStanding() { return m_standing; }
    // The modem counts as able to send again: what its failures paused is offered at once.
    void modemReadyAgain() { m_retry.endThisStationsPauses(); }

    // Every minute: keeps this station's claims alive, writes outcomes an
    // outage held back, offers again what a dead station left claimed, and
    // queues e-mails an older mail service once refused.
    void tick();
    DispatchClaims& claims() { return m_claims; }
    // Records the outcome of every held send the SMS service can now tell.
    void settleHeldSends();
    // Dispatches whose SMS outlasted the console's wait and may still go out.
    qsizetype heldSends() const { return m_held.size(); }

private:
    enum class Step {
        Delivered, // something went out
        PassedOver, // not sent, or finished without sending: the pass goes on
        SmsFailed,  // the modem did not take it: the next pass goes on
        Stop,       // the database is in trouble: later passes try again
    };
    struct Candidate
    {
        qint64 uitmeldId = 0, ontvangerId = 0, failures = 0;
        qint64 uitmeldtype = 0; // 0: nothing sent yet, so its e-mail is still owed
    };
    Step deliver(const Candidate& c);
    // The reachable recipient of a dispatch, or nothing (noted as failing).
    std::optional<Ontvanger> recipientOf(const Candidate& c, bool& stop);
    void mailToNobody(qint64 uitmeldId, const Ontvanger& recipient);
    bool smsCanGo() const { return m_smsAvailable && m_held.isEmpty(); }

    // A dispatch whose SMS outlasted the wait: it keeps its claim, so no pass
    // and no other station sends it again, until the service tells this
    // send's outcome or is known to have lost it.
    struct HeldSend
    {
        qint64 uitmeldId = 0;
        QString sendId;
        QString naam;
        QDateTime since;
    };

    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    const MessageComposer& m_composer;
    SmsGateway& m_sms;
    DispatchClaims m_claims;
    OwedMails m_owedMails;
    DeliveryRetry m_retry;
    ModemStanding m_standing;
    QList<HeldSend> m_held;
    bool m_settling = false;
    DutySlots m_slots;
    bool m_shuttingDown = false;
    bool m_smsAvailable = true;
};

} // namespace taviro
