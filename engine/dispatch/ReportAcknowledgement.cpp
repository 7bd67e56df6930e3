#include "ReportAcknowledgement.h"

#include "DatabaseConnector.h"
#include "Rows.h"
#include "SqlValues.h"
#include "Transaction.h"

namespace taviro {

Status lockReport(const DatabaseConnector& conn, qint64 meldingId)
{
    // An update that changes nothing still takes the row's write lock.
    return conn.exec(QStringLiteral("UPDATE meldingen SET bemand = bemand WHERE id = ?"), {sql::keyValue(meldingId)});
}

QString dispatchesOfReport()
{
    return QStringLiteral("SELECT uitmeldlink.uitmeld_id FROM uitmeldlink INNER JOIN meldindex ON meldindex.id = "
                          "uitmeldlink.meldindex_id WHERE meldindex.melding_id = ? UNION SELECT uitmeld_id FROM "
                          "meldindex WHERE melding_id = ?");
}

Status acknowledgeAtConsole(const DatabaseConnector& conn, qint64 meldingId, qint64 gebruikerId,
                            const QDateTime& now)
{
    Transaction tx(conn);
    Status s = tx.begin();
    // Taking the report out of the list is the report's lock too: the
    // dispatches are read by the next statement, after any escalation
    // being decided now has been written.
    if (s)
        s = conn.exec(QStringLiteral("UPDATE meldingen SET %1 = ? WHERE id = ?").arg(conn.id(QStringLiteral("show"))),
                      {sql::boolValue(false), sql::keyValue(meldingId)});
    if (s)
        s = conn.exec(QStringLiteral("UPDATE uitmeld SET bevestigdate = ?, bevestiger = ?, bevestigtype = 1 "
                                     "WHERE bevestigtype <> 2 AND bevestigtype <> ? AND id IN (%1)")
                          .arg(dispatchesOfReport()),
                      {sql::dateValue(now, conn.dialect()), sql::keyValue(gebruikerId), sql::keyValue(kClosedInBulk),
                       sql::keyValue(meldingId), sql::keyValue(meldingId)});
    if (s)
        s = tx.commit();
    return s;
}

} // namespace taviro
