#include "ModemStanding.h"

#include "EventLog.h"

namespace taviro {

ModemStanding::ModemStanding(EventLog& log, QString station) : m_log(log), m_station(std::move(station))
{
}

bool ModemStanding::ownReady() const
{
    return m_reported.value_or(false) && m_refusals < kRefusalLimit;
}

void ModemStanding::noteModemState(bool ready, const QString& text)
{
    const bool was = ownReady();
    m_reported = ready;
    m_text = text;
    if (ready)
        m_refusals = 0;
    afterChange(was);
}

void ModemStanding::noteNoModemState()
{
    const bool was = ownReady();
    m_reported.reset();
    m_text.clear();
    afterChange(was);
}

void ModemStanding::noteSendFailed()
{
    const bool was = ownReady();
    if (++m_refusals == kRefusalLimit && m_reported.value_or(false))
        m_log.writeLog(QStringLiteral("De GSM-modem van station %1 weigerde %2 SMS-verzendingen na elkaar; het "
                                      "station laat SMS-uitmeldingen aan een station met een werkend GSM-modem "
                                      "tot een verzending of een controle van de modem slaagt.")
                           .arg(m_station)
                           .arg(kRefusalLimit),
                       0);
    afterChange(was);
}

void ModemStanding::noteSent()
{
    const bool was = ownReady();
    m_refusals = 0;
    afterChange(was);
}

void ModemStanding::afterChange(bool wasReady)
{
    if (wasReady != ownReady() && m_observer)
        m_observer(ownReady());
    (void)claimsSms();
}

bool ModemStanding::claimsSms()
{
    // Asked of the database only when it matters: a ready modem always sends.
    const bool claiming = ownReady() || !(m_anotherReady && m_anotherReady());
    if (claiming == m_claiming)
        return claiming;
    m_claiming = claiming;
    if (claiming) {
        m_log.writeLog(QStringLiteral("Station %1 verstuurt weer SMS-uitmeldingen.").arg(m_station), 0);
    } else {
        const QString why = m_refusals >= kRefusalLimit
                                ? QStringLiteral("de GSM-modem weigerde %1 verzendingen na elkaar").arg(m_refusals)
                            : m_text.isEmpty() ? QStringLiteral("de GSM-modem meldt niet dat hij klaar is")
                                               : m_text;
        m_log.writeLog(QStringLiteral("Station %1 verstuurt geen SMS-uitmeldingen (%2); ze blijven staan "
                                      "voor een station met een werkend GSM-modem.")
                           .arg(m_station, why),
                       0);
    }
    return claiming;
}

} // namespace taviro
