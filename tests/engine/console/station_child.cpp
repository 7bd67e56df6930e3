// One console station for the shared-database test: it does what the two
// window timers and the receivers' events would make it do, as fast as it
// can, until the stop file appears. Then it prints what it took in and sent.
// Arguments: database, log folder, stop file[, claim lease in seconds].
#include "Console.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>

using namespace taviro;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    auto conn = DatabaseConnector::open(DatabaseSettings::fromText(args[1]));
    if (!conn) {
        std::fprintf(stderr, "%s\n", qPrintable(conn.error()));
        return 3;
    }
    test::FakeClock clock;
    EventLog log(clock, args[2]);
    test::FakeSmsService sms;
    test::FakeMailSender mail;
    Console console(**conn, clock, log, sms, mail);
    console.setSmsSettleMsecs(0);
    if (args.size() > 4)
        console.delivery().claims().setLeaseSeconds(args[4].toInt());
    if (!console.loadPlanningCache())
        return 4;
    qsizetype taken = 0;
    QObject::connect(&console, &Console::actueelAdded, &console, [&taken] { ++taken; });
    while (!QFile::exists(args[3])) {
        const auto before = taken + sms.sent.size();
        console.dispatchTick();
        QCoreApplication::processEvents();
        if (taken + sms.sent.size() == before)
            QThread::msleep(10); // idle: as often as a busy timer, not a spinning one
    }
    std::printf("%lld %lld\n", qint64(taken), qint64(sms.sent.size()));
    return 0;
}
