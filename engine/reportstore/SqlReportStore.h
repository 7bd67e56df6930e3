#pragma once

#include "ReportStore.h"
#include "StatementCache.h"

#include <QHash>

namespace taviro {

class DatabaseConnector;

// Stores reports in the shared database. The whole report (new transmitter and
// points included) is one transaction, so a receiver that dies half-way leaves
// nothing behind that the console could take in as a partial report.
class SqlReportStore final : public ReportStore
{
public:
    explicit SqlReportStore(const DatabaseConnector& conn);
    Result<qint64> store(const ReceivedReport& report) override;

    struct Stored
    {
        qint64 meldingId = 0;
        bool repeat = false; // stored before under the same key: nothing written now
    };
    // Stores a report that its transmitter marks with `key` (alias, sequence
    // number, checksum), unless a report with that key was stored in the 24
    // hours before `report.receivedAt` by any receiver. The key is written
    // in the report's own transaction, so a report is never stored without
    // it nor remembered without being stored.
    //
    // A source whose repeat is only ever its latest report (a unit that
    // repeats the line whose acknowledgement it missed, and nothing older)
    // names the family of its keys in `family`: the keys that start with it
    // and have the length of `key` are forgotten in the same transaction, so
    // an older report that comes again later is a new one.
    Result<Stored> storeOnce(const ReceivedReport& report, const QString& key, const QString& family = {});
    static constexpr qint64 kRepeatWindowSecs = 24 * 3600;
    // Counts `key` as seen at `at`, so it is kept another window from then:
    // for a report that is offered again for as long as it stays at its
    // source (a mail whose deletion does not reach the server).
    Status keepKey(const QString& key, const QDateTime& at);

private:
    struct Point
    {
        qint64 id = 0;
        bool actief = true;
        bool uurs24 = false;
    };
    using Points = QHash<QString, Point>; // by function code
    Result<qint64> melderFor(const QString& alias, const QString& naam);
    Status loadPoints(qint64 melderId, const QStringList& codes, Points& points);
    Result<Point> pointFor(qint64 melderId, const ReceivedLine& line, Points& points);
    Result<qint64> storeInTransaction(const ReceivedReport& report);
    Status checkReport(const ReceivedReport& report) const;

    const DatabaseConnector& m_conn;
    StatementCache m_sql;
    QHash<qsizetype, QString> m_pointTexts; // by number of codes
};

} // namespace taviro
