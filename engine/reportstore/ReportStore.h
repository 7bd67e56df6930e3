#pragma once

#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace taviro {

// One alarm as a transmitter reports it.
struct ReceivedLine
{
    QString functie;      // function code of the point
    QString omschrijving; // description, used when the point is new
    int flank = 1;        // non-zero: alarm came up ("Op"); 0: went off ("Af")
    QDateTime date;       // when the line happened; the reception time when unknown
    // A line of another transmitter than the report's (test reports mix them);
    // empty: the report's own transmitter.
    QString melderAlias;
    QString melderNaam;
};

// A whole report of one transmitter, as a receiver took it off the line.
struct ReceivedReport
{
    QString melderAlias; // the transmitter's number ("OS-nummer")
    QString melderNaam;  // name for a transmitter we have not seen before; the alias when empty
    QDateTime receivedAt;
    QList<ReceivedLine> lines;
};

// Stores a report so the console can take it in: all of it or nothing.
class ReportStore
{
public:
    virtual ~ReportStore() = default;
    // Returns the new report's key (meldingen.id).
    virtual Result<qint64> store(const ReceivedReport& report) = 0;
};

} // namespace taviro
