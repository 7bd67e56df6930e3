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

// A line cannot have happened after it was received. A transmitter's clock
// that runs a few minutes ahead is common and harmless, so a date up to this
// far after the reception stands as given; a later one (a clock that is
// wrong, or a hostile mail) would put a check-in point's last report in the
// future and keep its 24-hour watchdog quiet, so the reception time is
// stored instead.
constexpr qint64 kFutureDateToleranceSecs = 5 * 60;
bool isFutureDate(const QDateTime& date, const QDateTime& receivedAt);
// The date a line is stored with: its own, or the reception time when it
// has none or one in the future.
QDateTime storedLineDate(const ReceivedLine& line, const QDateTime& receivedAt);

// Stores a report so the console can take it in: all of it or nothing.
class ReportStore
{
public:
    virtual ~ReportStore() = default;
    // Returns the new report's key (meldingen.id).
    virtual Result<qint64> store(const ReceivedReport& report) = 0;
};

} // namespace taviro
