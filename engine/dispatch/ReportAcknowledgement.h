#pragma once

#include "Result.h"

#include <QDateTime>

namespace taviro {

class DatabaseConnector;

// One report's acknowledgements and its escalation are decided one after
// the other, never side by side: each of them first takes the report's row
// in `meldingen` for the rest of its transaction. On PostgreSQL that is what
// lets an acknowledgement see the escalation dispatch a workstation wrote a
// moment before, instead of settling the report's older dispatches only and
// leaving the new one to be sent and repeated. On SQLite the write
// transaction already orders them and the lock costs nothing.
Status lockReport(const DatabaseConnector& conn, qint64 meldingId);

// Every dispatch of a report, as a subquery: through the link table, and the
// one an older tool named in meldindex.uitmeld_id. Binds the report twice.
QString dispatchesOfReport();

// The operator acknowledges a report at the console, in one transaction:
// it leaves the current list, and every dispatch of it, each recipient's,
// stops repeating. A dispatch the recipient acknowledged himself stays his,
// and one an operator closed in bulk keeps who closed it and when.
Status acknowledgeAtConsole(const DatabaseConnector& conn, qint64 meldingId, qint64 gebruikerId,
                            const QDateTime& now);

} // namespace taviro
