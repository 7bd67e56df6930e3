// taviro-bench-drain [N] [DELAY_MS]: N pending SMS dispatches (default 200)
// delivered by the console through the real TaviroSmsService to a fake GSM
// modem that takes DELAY_MS (default 200) to accept each message. Prints the
// drain time and, last, ratio = drain time / (N x delay).

#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeModem.h"
#include "FakeServices.h"
#include "Installation.h"
#include "SmsServiceProxy.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

using namespace taviro;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int n = args.size() > 1 ? std::max(1, args[1].toInt()) : 200;
    const int delayMs = args.size() > 2 ? std::max(1, args[2].toInt()) : 200;
    QTextStream out(stdout);

    test::TestDatabase db;
    auto conn = db.connect();
    test::FakeModem modem;
    if (!db.ok() || !conn || !modem.ok()) {
        out << "kan de testopstelling niet maken" << Qt::endl;
        return 1;
    }
    modem.setSubmitDelayMs(delayMs);
    test::Installation inst(*conn);
    // No way to reach Jan while the reports come in, so every dispatch stays pending.
    const qint64 jan = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"), {}, false, false);
    WeekPlanning w = inst.weekTemplate(QStringLiteral("STD"));
    for (int day = 0; day < 7; ++day)
        for (int block = 0; block < 3; ++block)
            w.cells[WeekPlanning::cellIndex(block, day, 0)] = jan;
    const qint64 melder = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor Centrum"), 1, inst.week(w), 0);
    inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak hal"));
    conn->exec(QStringLiteral("INSERT INTO comports (number, designation, baudrate, string, timeout, databits, parity, "
                              "stopbits, is_gsm) VALUES (4, 2, 9600, 'AT&FE0', 15, 8, 'N', 1, ?)"),
               {sql::boolValue(true)});
    qputenv("TAVIRO_COM4", modem.devicePath().toLocal8Bit());

    test::FakeClock clock;
    EventLog log(clock, db.folder() + QStringLiteral("/Logger/"));
    SmsServiceProxy sms(ServiceClient::Options::forService(QStringLiteral("TaviroSmsService"),
                                                           QCoreApplication::applicationDirPath(), db.settings()));
    test::FakeMailSender mail;
    Console console(*conn, clock, log, sms, mail);
    // Without a receiver on the modem's port there is nothing to hand the port back to.
    console.setSmsSettleMsecs(0);
    console.loadPlanningCache();
    console.getSmsSettings();

    SqlReportStore store(*conn);
    for (int i = 0; i < n; ++i) {
        ReceivedReport r;
        r.melderAlias = QStringLiteral("1001");
        r.receivedAt = clock.now();
        r.lines.append({QStringLiteral("01"), QStringLiteral("Inbraak hal"), 1, {}, {}, {}});
        store.store(r);
    }
    console.showNewActueel();
    conn->exec(QStringLiteral("UPDATE ontvangers SET %1 = ?").arg(conn->id(QStringLiteral("UseSMS"))), {sql::boolValue(true)});
    const QString pendingSql = QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ? AND ontvanger_id = ?");
    const int pending = sql::toLong(*conn->scalar(pendingSql, {sql::boolValue(false), jan}));
    out << "openstaande uitmeldingen: " << pending << ", vertraging per bericht: " << delayMs << " ms" << Qt::endl;

    QElapsedTimer timer;
    timer.start();
    console.deliverNextDispatch();
    while (timer.elapsed() < qint64(n) * delayMs * 10 + 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!console.smsBusy() && sql::toLong(*conn->scalar(pendingSql, {sql::boolValue(false), jan})) == 0)
            break;
        if (!console.smsBusy())
            console.deliverNextDispatch();
    }
    const qint64 drainMs = timer.elapsed();
    const int sent = int(modem.submitted().size());
    out << "verzonden: " << sent << " van " << pending << Qt::endl;
    out << "drain=" << drainMs << " ms" << Qt::endl;
    out << "ratio=" << QString::number(double(drainMs) / (double(pending) * delayMs), 'f', 3) << Qt::endl;
    return sent == pending ? 0 : 1;
}
