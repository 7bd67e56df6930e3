#pragma once

#include "OverzichtRequest.h"
#include "Result.h"

#include <functional>

namespace taviro {

class DatabaseConnector;

struct OverzichtStats
{
    int meldingen = 0; // reports written
    int alarms = 0;    // alarm elements written
    QString xmlPath;
};

// Writes overzicht.xml: every report of the chosen transmitters in the chosen
// days with its alarm lines, each recipient a line went to, and who
// acknowledged. The file is replaced as a whole, so a browser never reads a
// half-written overview.
class OverzichtBuilder
{
public:
    // Called after each report with (done, total); returning false stops the build
    // and leaves the previous file in place.
    using Progress = std::function<bool(int done, int total)>;

    OverzichtBuilder(const DatabaseConnector& conn, QString loggerPath);

    Result<OverzichtStats> build(const OverzichtRequest& request, const Progress& progress = {});

    // The file the overview is written to: loggerPath followed by "overzicht.xml".
    QString xmlPath() const;

private:
    const DatabaseConnector& m_conn;
    QString m_loggerPath;
};

} // namespace taviro
