#pragma once

#include "DeliveryRetry.h"
#include "DispatchClaims.h"
#include "ModemStanding.h"
#include "OwedMails.h"
#include "Rows.h"

#include <QString>

#include <optional>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;
class MessageComposer;

// The console's way of getting one SMS out (it owns the modem settings and
// the wait for the SMS service). True when the service reported it sent.
class SmsGateway
{
public:
    virtual ~SmsGateway() = default;
    virtual bool sendSMS(const QString& mobielnr, const QString& naam, const QString& text) = 0;
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
    enum class Sent { Yes, No, Unreadable /* the dispatch's text: the database is away */ };
    Sent sendSmsDispatch(qint64 uitmeldId, const Ontvanger& recipient);
    // Queues the e-mail in the outbox in the transaction that records it;
    // the mail senders of the room take it from there.
    Sent sendEmailDispatch(qint64 uitmeldId, const Ontvanger& recipient);
    // Sent but unacknowledged SMS dispatches of today or yesterday with
    // attempts left become pending again. Returns how many.
    int rearmSmsDispatches();

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

    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    const MessageComposer& m_composer;
    SmsGateway& m_sms;
    DispatchClaims m_claims;
    OwedMails m_owedMails;
    DeliveryRetry m_retry;
    ModemStanding m_standing;
    bool m_shuttingDown = false;
    bool m_smsAvailable = true;
};

} // namespace taviro
