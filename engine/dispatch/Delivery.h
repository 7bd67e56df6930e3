#pragma once

#include "DispatchClaims.h"
#include "OwedMails.h"
#include "Rows.h"

#include <QString>

#include <optional>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;
class MailSender;
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
// dispatches that nobody acknowledged so later passes send them again.
class Delivery
{
public:
    Delivery(const DatabaseConnector& conn, const Clock& clock, EventLog& log,
             const MessageComposer& composer, SmsGateway& sms, MailSender& mail);

    // One pass. Dispatches to recipients that were deleted or have no way to
    // be reached are reported and passed over, so they cannot hold up older
    // ones. True when a dispatch was delivered (the caller may run the next
    // pass at once to drain a backlog).
    bool deliverNextDispatch();
    // mailRefused: the mail service refused this dispatch's e-mail; it is kept
    // owed (OwedMails) when the SMS goes.
    bool sendSmsDispatch(qint64 uitmeldId, const Ontvanger& recipient, bool mailRefused = false);
    bool sendEmailDispatch(qint64 uitmeldId, const Ontvanger& recipient);
    // Sent but unacknowledged SMS dispatches of today or yesterday with
    // attempts left become pending again. Returns how many.
    int rearmSmsDispatches();

    void setShuttingDown(bool on) { m_shuttingDown = on; }

    // Every minute: keeps this station's claims alive, writes outcomes an
    // outage held back, offers again what a dead station left claimed, and
    // hands over e-mails the mail service refused before.
    void tick();
    DispatchClaims& claims() { return m_claims; }

private:

    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    const MessageComposer& m_composer;
    SmsGateway& m_sms;
    MailSender& m_mail;
    DispatchClaims m_claims;
    OwedMails m_owedMails;
    bool m_shuttingDown = false;
};

} // namespace taviro
