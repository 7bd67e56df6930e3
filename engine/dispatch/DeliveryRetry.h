#pragma once

#include "Result.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;

// Pending dispatches that could not go out: a deleted recipient, one without
// a mobile number or e-mail address, a modem or mail service that refuses
// the message. Each is offered again after a pause that grows with every
// failure in a row (1, 2, 4, 8, then every 15 minutes), so a recipient that
// cannot be reached neither floods the log tab nor keeps the modem busy, and
// the passes in between go on to other dispatches. The state lives in
// `uitmeldretry`, so a restart does not start the pauses over. A failure of
// the modem pauses the dispatch for the station that failed; other stations
// offer it at once, each keeping its own pauses.
class DeliveryRetry
{
public:
    DeliveryRetry(const DatabaseConnector& conn, const Clock& clock, EventLog& log, QString station);

    // Whom a failure pauses the dispatch for: a modem's failure says nothing
    // about the other stations' modems; a missing number or a refused mail
    // holds for all.
    enum class Scope { AllStations, ThisStation };

    // A condition on `uitmeld` that leaves out dispatches still pausing for
    // this station; it takes the bound values dueValues().
    static QString dueCondition();
    QVariantList dueValues() const;
    // The failure count of the dispatch, as a column of a query on `uitmeld`.
    static QString failuresColumn();

    // Notes one failure. logLine goes to the log tab only when the dispatch
    // starts failing or fails for another reason than the last time.
    void failed(qint64 uitmeldId, const QString& reason, const QString& logLine, Scope scope = Scope::AllStations);

    // This station's modem counts as able to send again: the pauses its
    // failures set end now (a dispatch tried while the SIM still waited for
    // its PIN goes as soon as the modem is ready). The failures stay counted.
    void endThisStationsPauses();

    // Minutes until the next offer after this many failures in a row.
    static int pauseMinutes(qint64 failures);

    // The recipient was just saved, perhaps with the number or address that
    // was missing: his open dispatches are offered at the next pass instead
    // of after the rest of a pause of up to a quarter of an hour. Within the
    // caller's transaction.
    static Status forgetRecipient(const DatabaseConnector& conn, qint64 ontvangerId);

private:
    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    EventLog& m_log;
    QString m_station;
};

} // namespace taviro
