#include "ReportStore.h"

namespace taviro {

bool isFutureDate(const QDateTime& date, const QDateTime& receivedAt)
{
    return date.isValid() && receivedAt.isValid() && date > receivedAt.addSecs(kFutureDateToleranceSecs);
}

QDateTime storedLineDate(const ReceivedLine& line, const QDateTime& receivedAt)
{
    return line.date.isValid() && !isFutureDate(line.date, receivedAt) ? line.date : receivedAt;
}

} // namespace taviro
