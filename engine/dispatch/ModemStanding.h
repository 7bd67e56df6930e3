#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace taviro {

class EventLog;

// Whether this workstation claims SMS dispatches. Its GSM modem counts as
// able to send while the SMS service's checks say it is ready and its sends
// are not refused a few times in a row (a SIM without credit or with a wrong
// service-centre number passes every check). A workstation whose modem does
// not count leaves SMS to the others only while another live workstation
// reports a modem that does; with none, it tries its own, so an alarm never
// waits for a modem nobody has.
class ModemStanding
{
public:
    // Refusals in a row after which the modem no longer counts as able to send.
    static constexpr int kRefusalLimit = 3;

    ModemStanding(EventLog& log, QString station);

    // Whether another live workstation reports a modem that can send.
    void setAnotherReady(std::function<bool()> anotherReady) { m_anotherReady = std::move(anotherReady); }
    // Told whenever ownReady() changes, for this workstation's heartbeat.
    void setOwnReadyObserver(std::function<void(bool)> observer) { m_observer = std::move(observer); }

    // The SMS service's judgement after a check. A check that finds the
    // modem ready also forgives the refusals before it.
    void noteModemState(bool ready, const QString& text);
    // No modem here that reports a state (none configured, a PSTN modem):
    // it is tried when no other workstation has a ready one.
    void noteNoModemState();
    void noteSendFailed();
    void noteSent();

    bool ownReady() const;
    // Asked before each pass and after every change; logs when the answer changes.
    bool claimsSms();

private:
    void afterChange(bool wasReady);

    EventLog& m_log;
    QString m_station;
    std::optional<bool> m_reported; // nothing: no state reported
    QString m_text;
    int m_refusals = 0;
    bool m_claiming = true;
    std::function<bool()> m_anotherReady;
    std::function<void(bool)> m_observer;
};

} // namespace taviro
