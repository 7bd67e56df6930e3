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

    const DatabaseConnector& m_conn;
    StatementCache m_sql;
    QHash<qsizetype, QString> m_pointTexts; // by number of codes
};

} // namespace taviro
