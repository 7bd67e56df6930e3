#include "Console.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "Repositories.h"

#include <QEventLoop>

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
    if (sharing && sharing->portOpen() && !sharing->stopListening()) {
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
    if (!receiver)
        return true; // nobody listens on the modem's port any more
    if (receiver->restartListening())
        return true;
    m_log.writeLog(QStringLiteral("COM %1 kon na het verzenden van de SMS niet worden teruggenomen.").arg(port), 0);
    return false;
}

bool Console::sendSMS(const QString& mobielnr, const QString& naam, const QString& text)
{
    return transmitSms(mobielnr, naam, text, nullptr);
}

bool Console::transmitSms(const QString& mobielnr, const QString& naam, const QString& text, QString* why)
{
    auto refuse = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
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
    if (sharing && sharing->portOpen())
        released = sharing->stopListening();
    if (!released) {
        m_smsBusy = false;
        return refuse(QStringLiteral("de ontvanger op COM %1 geeft de poort niet vrij").arg(smsPort));
    }

    SmsRequest request = m_smsTemplate;
    request.recipientName = naam;
    request.mobileNumber = mobielnr;
    request.text = text;

    // Wait for the service's ready event without blocking the window: its
    // events, the timers and the operator keep being served meanwhile.
    bool ready = false;
    bool timedOut = false;
    QEventLoop wait;
    m_smsWait = &wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&m_sms, &ServiceComponent::meldingReady, &wait, [&] {
        ready = true;
        wait.quit();
    });
    connect(&limit, &QTimer::timeout, &wait, [&] {
        m_log.writeLog(QStringLiteral("Timeout opgetreden bij het verzenden van de SMS."), 0);
        ready = true;
        timedOut = true;
        wait.quit();
    });
    m_sms.send(request);
    if (!ready && !m_shuttingDown) {
        limit.start(m_sms.sendTimeoutMinutes() * 60 * 1000 + 500);
        wait.exec();
    }
    m_smsWait = nullptr;
    if (m_shuttingDown) {
        m_smsBusy = false;
        return refuse(QStringLiteral("Taviro wordt afgesloten"));
    }

    m_sms.finish();
    waitWithoutBlocking(m_settleMsecs);
    if (m_shuttingDown) {
        m_smsBusy = false;
        return refuse(QStringLiteral("Taviro wordt afgesloten"));
    }
    const bool portBack = takePortBack(smsPort);
    const bool sent = m_sms.lastSendSucceeded();
    if (!sent && why) {
        const QString reason = timedOut ? QString() : m_sms.lastSendFailure();
        *why = timedOut ? QStringLiteral("de GSM-modem heeft niet op tijd geantwoord")
               : reason.isEmpty() ? QStringLiteral("de SMS-dienst gaf geen reden")
                                  : reason;
    }
    m_smsBusy = false;
    return sent && portBack;
}

} // namespace taviro
