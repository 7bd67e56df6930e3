#pragma once

#include <QDateTime>
#include <QList>

#include <optional>

namespace taviro {
class DatabaseConnector;
}

namespace taviro::test {

// A year of settled alarm traffic for the overviews: `reports` reports spread
// evenly over 2026 across `transmitters` transmitters, each report with
// `lines` alarm lines, every line sent by SMS to two recipients who both
// acknowledged. Written in one transaction with prepared statements, so a
// hundred thousand reports take seconds, not minutes.
struct AcknowledgedReports
{
    QList<qint64> melderIds;
    QDateTime oldest, newest;
};
std::optional<AcknowledgedReports> fillAcknowledgedReports(const DatabaseConnector& conn, int reports,
                                                           int transmitters, int lines = 3);

} // namespace taviro::test
