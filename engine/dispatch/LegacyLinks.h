#pragma once

#include "Result.h"

namespace taviro {

class DatabaseConnector;
class EventLog;

// What the start-up check of the dispatch links found.
struct LinkRepair
{
    int dispatchesLinked = 0; // dispatches that had only meldindex.uitmeld_id
    int linesLinked = 0;
    int pendingWithoutLines = 0; // pending dispatches no existing line belongs to
    qint64 firstWithoutLines = 0;
    int danglingLinks = 0; // links of pending dispatches to lines that do not exist
};

// Delivery and composition find a dispatch's lines through `uitmeldlink`.
// A database carried over from the original installation (or written by a
// program that knows only the old way) names them only in
// meldindex.uitmeld_id; every dispatch without a link row gets one per such
// line, in one transaction. Running it again adds nothing. It also counts
// pending dispatches that cannot be sent because none of their lines exists,
// so they are reported once instead of silently waiting.
Result<LinkRepair> repairDispatchLinks(const DatabaseConnector& conn);

// The same, with what it did and found in the event log.
void repairDispatchLinks(const DatabaseConnector& conn, EventLog& log);

// While the console runs, a program that knows only the old way may write a
// dispatch: every minute the pending ones without link rows get theirs, so
// they go out now and not at the next start. Costs one read when there are
// none. Returns the number of dispatches linked; logs what it linked.
Result<int> linkNewLegacyDispatches(const DatabaseConnector& conn, EventLog& log);

} // namespace taviro
