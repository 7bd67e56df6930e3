#pragma once

#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace taviro {

class DatabaseConnector;

// A report that still has at least one open dispatch (done false).
struct OpenMelding
{
    qint64 meldingId = 0;
    QString naam;  // melders.naam
    QString adres; // melders.adres, shown under "Alias" as in the main list
    QDateTime meldingDate;
    bool escalated = false; // nobody acknowledged in time: the escalation schedule was told too
};

// Every report with an open dispatch of any of its recipients, newest first.
Result<QList<OpenMelding>> listOpenMeldingen(const DatabaseConnector& conn);

// Who closes dispatches in bulk, and when.
struct BulkClose
{
    qint64 gebruikerId = 0; // the operator, recorded as bevestiger
    QDateTime when;
};

// Closes every dispatch of these reports that the dispatch engine would
// still work on — pending ones, and sent SMS dispatches the quarter-hour
// repetition would send again — whichever recipient it is for, in one
// transaction: either all of them stop or, on a failure, none. Each is
// marked closed in bulk by the operator (bevestigtype kClosedInBulk), so it
// is neither sent nor repeated any more; the reports stay in the current
// list until acknowledged. progress(done, total) is called after each batch
// of reports. Returns the number of dispatches closed.
Result<int> closeOpenDispatches(const DatabaseConnector& conn, const QList<qint64>& meldingIds,
                                const BulkClose& by,
                                const std::function<void(int done, int total)>& progress = {});

} // namespace taviro
