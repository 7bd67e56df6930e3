#include "BlockTime.h"

#include "DutyTime.h"

namespace taviro {

namespace {
std::optional<int> minuteOfDay(const QString& text)
{
    const auto t = DutyTime::read(text);
    return t ? std::optional<int>(t->minuteOfDay()) : std::nullopt;
}
} // namespace

QString blockTimeProblem(int box, const std::array<QString, 3>& times)
{
    const auto own = minuteOfDay(times[box - 1]);
    if (!own)
        return QStringLiteral("U heeft een onjuiste tijd ingevoerd.");
    // A neighbour that is itself unreadable is judged when it is left.
    const auto t1 = minuteOfDay(times[0]);
    const auto t2 = minuteOfDay(times[1]);
    const auto t3 = minuteOfDay(times[2]);
    switch (box) {
    case 1:
        if (t2 && *t1 > *t2)
            return QStringLiteral(
                "De ingevoerde tijd moet kleiner zijn dan de starttijd van blok 2.");
        break;
    case 2:
        if (t3 && *t2 > *t3)
            return QStringLiteral(
                "De ingevoerde tijd moet kleiner zijn dan de starttijd van blok 3.");
        if (t1 && *t1 > *t2)
            return QStringLiteral(
                "De ingevoerde tijd moet groter zijn dan de starttijd van blok 1.");
        break;
    case 3:
        if (t2 && *t2 > *t3)
            return QStringLiteral(
                "De ingevoerde tijd moet groter zijn dan de starttijd van blok 2.");
        break;
    default:
        break;
    }
    return {};
}

QString storedBlockTime(const QString& typed)
{
    const auto t = DutyTime::read(typed);
    return t ? t->text() : typed;
}

} // namespace taviro
