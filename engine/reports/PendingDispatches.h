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
};

// Every report with an open dispatch of any of its recipients, newest first.
Result<QList<OpenMelding>> listOpenMeldingen(const DatabaseConnector& conn);

// Closes every open dispatch of these reports, whichever recipient it is for,
// in one transaction: either all of them stop or, on a failure, none.
// progress(done, total) is called after each batch of reports.
// Returns the number of dispatches closed.
Result<int> closeOpenDispatches(const DatabaseConnector& conn, const QList<qint64>& meldingIds,
                                const std::function<void(int done, int total)>& progress = {});

} // namespace taviro
