// taviro-bench-drain [N] [DELAY_MS]: N pending SMS dispatches (default 200)
// delivered by the console through the real TaviroSmsService to a fake GSM
// modem that takes DELAY_MS (default 200) to accept each message. Then
// "Herinitialiseer poorten" while a serial receiver (the real TaviroComm) is
// in a transmitter's call that ends 1.5 s later. Prints the drain time,
// ratio = drain time / (N x delay), and max_gap_ms: the longest the console's
// event loop was kept from running during the drain and the re-initialisation
// (target: at most 100 ms, so the window, the heartbeat and the watchdog go on).

#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeModem.h"
#include "FakeServices.h"
#include "GapMeter.h"
#include "AlarmLamp.h"
#include "Installation.h"
#include "ReceiverProxies.h"
#include "ServiceHub.h"
#include "SmsServiceProxy.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

using namespace taviro;

namespace {

// The longest event-loop gap while the console re-initialises its ports and
// a receiver is in a call: the receiver gives its port up only once the call
// is over.
qint64 reinitialiseDuringACall(const DatabaseConnector& conn, test::TestDatabase& db, EventLog& log, QTextStream& out)
{
    test::FakeModem receiving;
    if (!receiving.ok())
        return -1;
    qputenv("TAVIRO_COM5", receiving.devicePath().toLocal8Bit());
    conn.exec(QStringLiteral("INSERT INTO comports (number, designation, baudrate, string, timeout, databits, parity, "
                             "stopbits, is_gsm) VALUES (5, 1, 9600, 'AT', 2, 8, 'N', 1, ?)"),
              {sql::boolValue(false)});
    AlarmLamp lamp(log);
    ServiceHub hub(conn, log, lamp, QCoreApplication::applicationDirPath(), db.settings());
    hub.startServices();
    const auto receivers = hub.receiverControls();
    if (receivers.isEmpty() || !receivers.first()->portOpen()) {
        out << "ontvanger op COM 5 niet gestart" << Qt::endl;
        return -1;
    }
    receiving.call({"MELDER 1001;1"}); // and then nothing: the call goes on
    QElapsedTimer waited;
    waited.start();
    while (receivers.first()->isIdle() && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (receivers.first()->isIdle()) {
        out << "de oproep kwam niet binnen" << Qt::endl;
        return -1;
    }
    bench::GapMeter gaps;
    QTimer::singleShot(1500, [&receiving] { receiving.hangUp(); });
    QElapsedTimer took;
    took.start();
    gaps.start();
    hub.startServices();
    gaps.stop();
    out << "herinitialiseren tijdens een oproep: " << took.elapsed() << " ms, langste onderbreking van de "
        << "gebeurtenislus " << gaps.maxGap() << " ms (waarvan " << gaps.maxCpuGap() << " ms rekentijd)" << Qt::endl;
    hub.stopAll();
    return gaps.maxGap();
}

} // namespace

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
    // Taken in while nothing is sent, so every dispatch is pending and none
    // pausing when the drain starts.
    console.setShuttingDown(true);
    console.showNewActueel();
    console.setShuttingDown(false);
    conn->exec(QStringLiteral("UPDATE ontvangers SET %1 = ?").arg(conn->id(QStringLiteral("UseSMS"))), {sql::boolValue(true)});
    const QString pendingSql = QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ? AND ontvanger_id = ?");
    const int pending = sql::toLong(*conn->scalar(pendingSql, {sql::boolValue(false), jan}));
    out << "openstaande uitmeldingen: " << pending << ", vertraging per bericht: " << delayMs << " ms" << Qt::endl;

    bench::GapMeter gaps;
    QElapsedTimer timer;
    timer.start();
    gaps.start();
    console.deliverNextDispatch();
    while (timer.elapsed() < qint64(n) * delayMs * 10 + 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (!console.smsBusy() && sql::toLong(*conn->scalar(pendingSql, {sql::boolValue(false), jan})) == 0)
            break;
        if (!console.smsBusy())
            console.deliverNextDispatch();
    }
    const qint64 drainMs = timer.elapsed();
    gaps.stop();
    const int sent = int(modem.submitted().size());
    out << "verzonden: " << sent << " van " << pending << Qt::endl;
    out << "drain=" << drainMs << " ms, langste onderbreking van de gebeurtenislus " << gaps.maxGap() << " ms (waarvan "
        << gaps.maxCpuGap() << " ms rekentijd)" << Qt::endl;
    const qint64 reinitGap = reinitialiseDuringACall(*conn, db, log, out);
    out << "max_gap_ms=" << std::max(gaps.maxGap(), reinitGap) << Qt::endl;
    out << "ratio=" << QString::number(double(drainMs) / (double(pending) * delayMs), 'f', 3) << Qt::endl;
    return sent == pending && reinitGap >= 0 ? 0 : 1;
}
