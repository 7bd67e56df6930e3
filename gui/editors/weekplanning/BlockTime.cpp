#include "BlockTime.h"

#include <QRegularExpression>
#include <QTime>

namespace taviro {

std::optional<int> blockStartSeconds(const QString& text)
{
    const QString t = text.trimmed();
    if (t == QStringLiteral("24:00"))
        return 24 * 3600;
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
    const auto m = form.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const QTime time(m.captured(1).toInt(), m.captured(2).toInt(),
                     m.capturedLength(3) ? m.captured(3).toInt() : 0);
    if (!time.isValid())
        return std::nullopt;
    return time.msecsSinceStartOfDay() / 1000;
}

QString blockTimeProblem(int box, const std::array<QString, 3>& times)
{
    const auto own = blockStartSeconds(times[box - 1]);
    if (!own)
        return QStringLiteral("U heeft een onjuiste tijd ingevoerd.");
    // A neighbour that is itself unreadable is judged when it is left.
    const auto t1 = blockStartSeconds(times[0]);
    const auto t2 = blockStartSeconds(times[1]);
    const auto t3 = blockStartSeconds(times[2]);
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

} // namespace taviro
