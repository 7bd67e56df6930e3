// A console that does nothing but take reports in, for the crash test: it
// stores a report of its own and takes in every unseen report, over and over,
// until it is killed. With "drain" it takes in what is left once and stops;
// with "deliver LOGFILE" it only sends pending dispatches, each SMS taking a
// few milliseconds on air, every SMS and e-mail noted in LOGFILE, until it is killed.
#include "Console.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "SqlReportStore.h"

#include <QCoreApplication>
#include <QThread>

using namespace taviro;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    auto conn = DatabaseConnector::open(DatabaseSettings::fromText(args[1]));
    if (!conn)
        return 3;
    test::FakeClock clock;
    EventLog log(clock, args[2]);
    test::FakeSmsService sms;
    test::FakeMailSender mail;
    Console console(**conn, clock, log, sms, mail);
    console.setSmsSettleMsecs(0);
    if (!console.loadPlanningCache())
        return 4;
    if (args.value(3) == QLatin1String("deliver")) {
        sms.answerDelayMsecs = 3;
        sms.logPath = args.value(4);
        for (;;) {
            console.deliverNextDispatch();
            QCoreApplication::processEvents();
        }
    }
    if (args.value(3) == QLatin1String("drain")) {
        console.showNewActueel();
        return 0;
    }
    SqlReportStore store(**conn);
    for (;;) {
        ReceivedReport r{QStringLiteral("1001"), {}, clock.now(), {}};
        for (const char* f : {"01", "02", "03"})
            r.lines.append({QString::fromLatin1(f), {}, 1, {}, {}, {}});
        (void)store.store(r);
        console.showNewActueel();
        QCoreApplication::processEvents();
    }
}
