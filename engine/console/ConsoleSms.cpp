#include "Console.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "Repositories.h"

#include <QEventLoop>
#include <QUuid>

namespace taviro {

namespace {
const QString kNoNumber = QStringLiteral("0000000000");
// Reading replies takes seconds; a modem that hangs is reset within about a minute.
constexpr int kRepliesWaitMsecs = 90000;

void waitWithoutBlocking(int msecs)
{
    if (msecs <= 0)
        return;
    QEventLoop pause;
    QTimer::singleShot(msecs, &pause, &QEventLoop::quit);
    pause.exec();
}
} // namespace

void Console::getSmsSettings()
{
    if (!m_sending)
        return;
    if (auto ports = ComPortRepository(m_conn).withDesignation(2); ports && !ports->isEmpty()) {
        const ComPort& p = ports->first();
        m_smsTemplate.line.number = int(p.number);
        m_smsTemplate.line.baudrate = int(p.baudrate);
        m_smsTemplate.line.initString = p.string;
        m_smsTemplate.line.timeout = int(p.timeout);
        m_smsTemplate.line.databits = int(p.databits);
        m_smsTemplate.line.parity = p.parity;
        m_smsTemplate.line.stopbits = int(p.stopbits);
        m_smsTemplate.isGsm = p.is_gsm;
    } else if (ports) {
        // The SMS port was deleted: nothing may still be sent through it.
        m_smsTemplate.line.number = 0;
        m_smsTemplate.isGsm = false;
    }
    // Known from the configuration, not from the receivers running right now:
    // the SMS service must not take the port in the moment before its
    // receiver starts.
    m_smsPortShared = false;
    if (auto receiving = ComPortRepository(m_conn).withDesignation(1))
        for (const ComPort& p : *receiving)
            if (int(p.number) == m_smsTemplate.line.number)
                m_smsPortShared = true;
    if (auto q = m_conn.query(
            QStringLiteral("SELECT smsfrom, smscentrale FROM settings ORDER BY id LIMIT 1"));
        q && q->next()) {
        const QString from = sql::toText(q->value(0));
        const QString centre = sql::toText(q->value(1));
        m_smsTemplate.smsCentre = centre.isEmpty() ? kNoNumber : centre;
        m_smsTemplate.sender = from.isEmpty() ? kNoNumber : from;
    }
    // Only a GSM modem reports whether it can send; anything else is tried
    // when no other station has a ready one. The SMS service judges the port
    // itself (its device may be named in the service's own environment): a
    // device missing on this machine is "poort niet te openen", one line.
    if (m_smsTemplate.line.number <= 0 || !m_smsTemplate.isGsm)
        m_delivery.modemStanding().noteNoModemState();
    watchSmsModem();
    // No modem will ever report a state: the status bar says why no SMS goes.
    if (m_smsTemplate.line.number <= 0)
        Q_EMIT smsModemStateChanged(QStringLiteral("Geen SMS-poort ingesteld"), false);
}

void Console::noteModemState(const QString& text, bool ready)
{
    m_delivery.modemStanding().noteModemState(ready, text);
}

void Console::watchSmsModem()
{
    m_sms.watch(m_smsTemplate, m_smsPortShared || receiverOnPort(m_smsTemplate.line.number) != nullptr);
}

void Console::pollSmsReplies(bool evenUnshared)
{
    if (!m_sending || m_shuttingDown || m_smsBusy || m_smsTemplate.line.number <= 0 || !m_smsTemplate.isGsm)
        return;
    const int smsPort = m_smsTemplate.line.number;
    QPointer<CommReceiver> sharing = receiverOnPort(smsPort);
    if (!sharing && !m_smsPortShared && !evenUnshared)
        return; // the service reads a modem of its own by itself
    // A transmitter on the line goes first; its call is not cut for a reply.
    if (sharing && !sharing->isIdle())
        return;
    m_smsBusy = true;
    // Each question lets the event loop run, and "Herinitialiseer poorten"
    // may replace the receiver meanwhile: it is looked at again before each.
    if (sharing && sharing->portOpen() && sharing && !sharing->stopListening()) {
        m_smsBusy = false;
        return;
    }
    bool done = false;
    QEventLoop wait;
    m_smsWait = &wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&m_sms, &SmsService::repliesRead, &wait, [&] {
        done = true;
        wait.quit();
    });
    connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    if (m_sms.readReplies() && !done && !m_shuttingDown) {
        limit.start(kRepliesWaitMsecs);
        wait.exec();
    }
    m_smsWait = nullptr;
    if (sharing && !m_shuttingDown) {
        waitWithoutBlocking(m_settleMsecs);
        if (!m_shuttingDown)
            takePortBack(smsPort);
    }
    m_smsBusy = false;
}

CommReceiver* Console::receiverOnPort(int port) const
{
    CommReceiver* found = nullptr;
    for (const PortReceiver& r : m_receivers)
        if (r.port == port && r.receiver)
            found = r.receiver;
    return found;
}

bool Console::takePortBack(int port)
{
    // Looked up again: "Herinitialiseer poorten" during the wait replaces the
    // receivers, and the one that let the port go may no longer exist. Whoever
    // listens on the port now is the one that must have it back.
    CommReceiver* receiver = receiverOnPort(port);
    if (!receiver) {
        m_portBackRetry.stop();
        m_portBackPending = false;
        return true; // nobody listens on the modem's port any more
    }
    if (receiver->restartListening()) {
        if (m_portBackRetry.isActive() || m_portBackPending) {
            m_portBackRetry.stop();
            m_log.writeLog(QStringLiteral("COM %1 is weer teruggenomen door de ontvanger.").arg(port), 0);
        }
        m_portBackPending = false;
        return true;
    }
    if (!m_portBackPending)
        m_log.writeLog(QStringLiteral("COM %1 kon na het verzenden van de SMS niet worden teruggenomen.").arg(port), 0);
    // Its own retry: alarms on that port are not received until the receiver has it again.
    m_portBackPending = true;
    m_portBackPort = port;
    m_portBackRetry.start(m_portBackRetryMsecs);
    return false;
}

void Console::retryPortBack()
{
    if (m_shuttingDown || !m_portBackPending)
        return;
    // Never while the SMS service holds the port: that send gives it back itself.
    if (m_smsBusy) {
        m_portBackRetry.start(m_portBackRetryMsecs);
        return;
    }
    (void)takePortBack(m_portBackPort);
}

SmsAttempt Console::sendSMS(const QString& mobielnr, const QString& naam, const QString& text)
{
    return transmitSms(mobielnr, naam, text);
}

SmsAttempt Console::settleSend(const QString& sendId)
{
    const SmsOutcome o = m_sms.outcome(sendId);
    switch (o.state) {
    case SmsOutcome::State::Sent:
        return {SmsAttempt::Result::Sent, sendId, {}};
    case SmsOutcome::State::Running:
        return {SmsAttempt::Result::Running, sendId, o.reason};
    case SmsOutcome::State::Failed:
    case SmsOutcome::State::Busy:
    case SmsOutcome::State::Unknown:
        break;
    }
    return {SmsAttempt::Result::NotSent, sendId, o.reason};
}

void Console::abandonSend(const QString& sendId)
{
    m_log.writeLog(QStringLiteral("SMS-verzending %1 blijft onderweg; de SMS-dienst wordt opnieuw gestart.").arg(sendId), 0);
    m_sms.restartService();
}

SmsAttempt Console::transmitSms(const QString& mobielnr, const QString& naam, const QString& text)
{
    auto refuse = [](const QString& reason) { return SmsAttempt{SmsAttempt::Result::NotSent, {}, reason}; };
    if (m_shuttingDown)
        return refuse(QStringLiteral("Taviro wordt afgesloten"));
    if (m_smsBusy) // a send is already waiting: never two at once
        return refuse(QStringLiteral("er wordt al een SMS verzonden; probeer het over een ogenblik opnieuw"));
    // The port this SMS goes out on; the settings may be read again meanwhile.
    const int smsPort = m_smsTemplate.line.number;
    // A receiver on the modem's port must let go of it while the SMS goes out.
    QPointer<CommReceiver> sharing = receiverOnPort(smsPort);

    m_smsBusy = true;
    bool released = true;
    // Each question lets the event loop run, and "Herinitialiseer poorten"
    // may replace the receiver meanwhile: it is looked at again before each.
    if (sharing && sharing->portOpen() && sharing)
        released = sharing->stopListening();
    if (!released) {
        m_smsBusy = false;
        return refuse(QStringLiteral("de ontvanger op COM %1 geeft de poort niet vrij").arg(smsPort));
    }

    SmsRequest request = m_smsTemplate;
    request.recipientName = naam;
    request.mobileNumber = mobielnr;
    request.text = text;
    // Its own id: only the outcome reported for this id ends this wait.
    SmsAttempt attempt{SmsAttempt::Result::Running, QUuid::createUuid().toString(QUuid::WithoutBraces), {}};

    // Wait for the service's end of this send without blocking the window:
    // its events, the timers and the operator keep being served meanwhile.
    bool ended = false;
    QEventLoop wait;
    m_smsWait = &wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&m_sms, &SmsService::sendEnded, &wait, [&](const QString& sendId, const SmsOutcome& o) {
        if (sendId != attempt.sendId)
            return; // the late end of an earlier send says nothing about this one
        ended = true;
        attempt.result = o.state == SmsOutcome::State::Sent ? SmsAttempt::Result::Sent : SmsAttempt::Result::NotSent;
        attempt.reason = o.reason;
        wait.quit();
    });
    connect(&limit, &QTimer::timeout, &wait, [&] {
        m_log.writeLog(QStringLiteral("Timeout opgetreden bij het verzenden van de SMS."), 0);
        wait.quit();
    });
    // Asked before the send: asking runs the event loop, and the end of a
    // quick send delivered meanwhile must not be missed by the wait below.
    const int limitMsecs = m_sms.sendTimeoutMinutes() * 60 * 1000 + 500;
    m_sms.send(request, attempt.sendId);
    if (!ended && !m_shuttingDown) {
        limit.start(limitMsecs);
        wait.exec();
    }
    m_smsWait = nullptr;
    if (m_shuttingDown && !ended) {
        m_smsBusy = false;
        return {SmsAttempt::Result::Running, attempt.sendId, QStringLiteral("Taviro wordt afgesloten")};
    }
    if (!ended) {
        // Whatever still runs stops after its current piece; its outcome is
        // asked for later under its id.
        m_sms.finish();
        attempt.reason = QStringLiteral("de GSM-modem heeft niet op tijd geantwoord");
    } else if (attempt.result == SmsAttempt::Result::NotSent && attempt.reason.isEmpty()) {
        attempt.reason = QStringLiteral("de SMS-dienst gaf geen reden");
    }
    waitWithoutBlocking(m_settleMsecs);
    // The modem's answer decides whether the SMS went; a port the receiver
    // does not take back is logged and retried on its own.
    if (!m_shuttingDown)
        (void)takePortBack(smsPort);
    m_smsBusy = false;
    return attempt;
}

} // namespace taviro
