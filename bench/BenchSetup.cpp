#include "BenchSetup.h"

#include "Installation.h"

#include <sys/resource.h>

namespace taviro::bench {

BenchSetup::BenchSetup()
{
    if (!db.ok()) {
        error = db.error();
        return;
    }
    conn = db.connect();
    test::Installation inst(*conn);
    const qint64 jan =
        inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"),
                       QStringLiteral("jan@example.nl"), true, true);
    const qint64 marieke = inst.recipient(QStringLiteral("Marieke Bakker"),
                                          QStringLiteral("+31623456789"), {}, true, false);
    WeekPlanning w = inst.weekTemplate(QStringLiteral("STD"));
    for (int day = 0; day < 7; ++day) {
        w.cells[WeekPlanning::cellIndex(0, day, 0)] = jan;
        w.cells[WeekPlanning::cellIndex(1, day, 0)] = marieke;
    }
    const qint64 melder = inst.transmitter(QStringLiteral("1001"),
                                           QStringLiteral("Kantoor Centrum"), 1, inst.week(w), 0);
    inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak hal"));
    inst.point(melder, QStringLiteral("02"), QStringLiteral("Brand keuken"));
    inst.point(melder, QStringLiteral("03"), QStringLiteral("Koelcel"));
    inst.settings([](Settings& s) { s.maxpogingen = 3; });
    if (!inst.ok()) {
        error = inst.error();
        return;
    }
    console = std::make_unique<Console>(*conn, clock, log, sms, mail);
    console->setSmsSettleMsecs(0);
    if (Status s = console->loadPlanningCache(); !s)
        error = s.error();
}

ReceivedReport BenchSetup::report() const
{
    ReceivedReport r{QStringLiteral("1001"), {}, clock.now(), {}};
    for (const char* f : {"01", "02", "03"})
        r.lines.append({QString::fromLatin1(f), {}, 1, {}, {}, {}});
    return r;
}

double peakRssMib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace taviro::bench
