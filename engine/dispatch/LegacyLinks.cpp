#include "LegacyLinks.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "SqlValues.h"
#include "Transaction.h"

namespace taviro {

namespace {

// Dispatches (recipients and the bookkeeping one alike) that no link row
// names yet, with the lines that name them the old way.
const QString kOldLinks = QStringLiteral(
    "FROM meldindex INNER JOIN uitmeld ON uitmeld.id = meldindex.uitmeld_id "
    "WHERE NOT EXISTS (SELECT 1 FROM uitmeldlink WHERE uitmeldlink.uitmeld_id = uitmeld.id)");

// The same, of pending dispatches only: what a running console looks at.
const QString kOldPendingLinks = kOldLinks + QStringLiteral(" AND uitmeld.done = ?");

} // namespace

Result<LinkRepair> repairDispatchLinks(const DatabaseConnector& conn)
{
    using R = Result<LinkRepair>;
    LinkRepair found;
    {
        Transaction tx(conn);
        if (Status s = tx.begin(); !s)
            return R::failure(s.error());
        auto counted = conn.query(QStringLiteral("SELECT COUNT(DISTINCT uitmeld.id) ") + kOldLinks);
        if (!counted)
            return R::failure(counted.error());
        if (counted->next())
            found.dispatchesLinked = int(sql::toLong(counted->value(0)));
        counted->finish();
        if (found.dispatchesLinked > 0) {
            auto inserted = conn.query(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) "
                                                      "SELECT uitmeld.id, meldindex.id ") + kOldLinks +
                                       QStringLiteral(" ON CONFLICT (uitmeld_id, meldindex_id) DO NOTHING"));
            if (!inserted)
                return R::failure(inserted.error());
            found.linesLinked = inserted->numRowsAffected();
        }
        if (Status s = tx.commit(); !s)
            return R::failure(s.error());
    }

    auto without = conn.query(
        QStringLiteral("SELECT COUNT(*), MIN(id) FROM uitmeld WHERE done = ? AND ontvanger_id <> 0 AND NOT EXISTS "
                       "(SELECT 1 FROM uitmeldlink INNER JOIN meldindex ON meldindex.id = uitmeldlink.meldindex_id "
                       "WHERE uitmeldlink.uitmeld_id = uitmeld.id)"),
        {sql::boolValue(false)});
    if (!without)
        return R::failure(without.error());
    if (without->next()) {
        found.pendingWithoutLines = int(sql::toLong(without->value(0)));
        found.firstWithoutLines = sql::toLong(without->value(1));
    }
    without->finish();
    auto dangling = conn.scalar(
        QStringLiteral("SELECT COUNT(*) FROM uitmeldlink INNER JOIN uitmeld ON uitmeld.id = uitmeldlink.uitmeld_id "
                       "WHERE uitmeld.done = ? AND NOT EXISTS (SELECT 1 FROM meldindex WHERE meldindex.id = "
                       "uitmeldlink.meldindex_id)"),
        {sql::boolValue(false)});
    if (!dangling)
        return R::failure(dangling.error());
    found.danglingLinks = int(sql::toLong(*dangling));
    return found;
}

void repairDispatchLinks(const DatabaseConnector& conn, EventLog& log)
{
    const auto found = repairDispatchLinks(conn);
    if (!found) {
        log.writeLog(QStringLiteral("Koppelingen van uitmeldingen niet gecontroleerd: %1").arg(found.error()), 0);
        return;
    }
    if (found->dispatchesLinked > 0)
        log.writeLog(QStringLiteral("%1 uitmeldingen uit meldindex.uitmeld_id gekoppeld aan hun %2 meldingsregels.")
                         .arg(found->dispatchesLinked)
                         .arg(found->linesLinked),
                     0);
    else
        log.writeLog(QStringLiteral("Koppelingen van uitmeldingen gecontroleerd: niets aan te vullen."), 1);
    if (found->pendingWithoutLines > 0)
        log.writeLog(QStringLiteral("%1 openstaande uitmeldingen hebben geen meldingsregels en worden niet "
                                    "verstuurd (de eerste: uitmelding %2).")
                         .arg(found->pendingWithoutLines)
                         .arg(found->firstWithoutLines),
                     0);
    if (found->danglingLinks > 0)
        log.writeLog(QStringLiteral("%1 koppelingen van openstaande uitmeldingen wijzen naar een meldingsregel die "
                                    "niet bestaat; die worden overgeslagen.")
                         .arg(found->danglingLinks),
                     0);
}

Result<int> linkNewLegacyDispatches(const DatabaseConnector& conn, EventLog& log)
{
    using R = Result<int>;
    auto first = conn.scalar(QStringLiteral("SELECT MIN(uitmeld.id) ") + kOldPendingLinks, {sql::boolValue(false)});
    if (!first)
        return R::failure(first.error());
    if (first->isNull())
        return 0;
    Transaction tx(conn);
    if (Status s = tx.begin(); !s)
        return R::failure(s.error());
    auto counted = conn.scalar(QStringLiteral("SELECT COUNT(DISTINCT uitmeld.id) ") + kOldPendingLinks,
                               {sql::boolValue(false)});
    if (!counted)
        return R::failure(counted.error());
    // Another station filling the same links at this moment makes its pairs
    // first; ours then add nothing (the pair is unique), rather than doubling
    // every line in the message.
    auto inserted = conn.query(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) "
                                              "SELECT uitmeld.id, meldindex.id ") + kOldPendingLinks +
                                   QStringLiteral(" ON CONFLICT (uitmeld_id, meldindex_id) DO NOTHING"),
                               {sql::boolValue(false)});
    if (!inserted)
        return R::failure(inserted.error());
    const int lines = inserted->numRowsAffected();
    inserted->finish();
    if (Status s = tx.commit(); !s)
        return R::failure(s.error());
    const int dispatches = int(sql::toLong(*counted));
    log.writeLog(QStringLiteral("%1 uitmeldingen uit meldindex.uitmeld_id gekoppeld aan hun %2 meldingsregels.")
                     .arg(dispatches)
                     .arg(lines),
                 0);
    return dispatches;
}

} // namespace taviro
