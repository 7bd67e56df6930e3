// taviro-bench-reach [REPORTS]: from a report committed by a receiver to its
// first SMS handed to the modem, for the documented set-ups:
//   one console that receives and sends itself,
//   a console beside a station on one machine (SQLite: the console receives,
//   the station sends),
//   two stations on PostgreSQL (the one that receives has no working modem,
//   the other sends; needs the PostgreSQL server programs).
// Reports come at uneven moments, so every phase of the workstations' one-
// second look is met. Prints the median and the longest wait per set-up.
#include "Console.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "Installation.h"
#include "PgTestServer.h"
#include "SqlReportStore.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <random>

using namespace taviro;

namespace {

// One workstation's engine with in-process services.
struct BenchWorkstation
{
    ConnectorPtr conn;
    test::FakeSmsService sms;
    test::FakeMailSender mail;
    std::unique_ptr<EventLog> log;
    std::unique_ptr<Console> console;

    BenchWorkstation(test::TestDatabase& db, test::FakeClock& clock, const QString& name)
        : conn(db.connect()), log(std::make_unique<EventLog>(clock, db.folder() + QLatin1Char('/') + name + QLatin1Char('/')))
    {
        console = std::make_unique<Console>(*conn, clock, *log, sms, mail);
        console->setSmsSettleMsecs(0);
        (void)console->loadPlanningCache();
        console->startTimers();
    }
};

bool prepare(test::TestDatabase& db, QString& error)
{
    if (!db.ok()) {
        error = db.error();
        return false;
    }
    auto conn = db.connect();
    test::Installation inst(*conn);
    const qint64 jan = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"), {}, true, false);
    WeekPlanning w = inst.weekTemplate(QStringLiteral("STD"));
    for (int day = 0; day < 7; ++day)
        w.cells[WeekPlanning::cellIndex(0, day, 0)] = jan;
    const qint64 melder = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Gemaal"), 1, inst.week(w), 0);
    inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak"));
    error = inst.error();
    return inst.ok();
}

// Stores `reports` reports through `receiverConn` at uneven moments; after
// each, `received` runs (the receiving workstation's own event). Returns the
// waits in ms until `sender` handed an SMS to its modem.
QList<qint64> measure(const DatabaseConnector& receiverConn, const test::FakeClock& clock, int reports,
                      const std::function<void()>& received, const test::FakeSmsService& sender)
{
    std::mt19937 rng(7);
    SqlReportStore store(receiverConn);
    QList<qint64> waits;
    for (int i = 0; i < reports; ++i) {
        QElapsedTimer pause;
        pause.start();
        const int gap = std::uniform_int_distribution<int>(200, 1400)(rng);
        while (pause.elapsed() < gap)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const qsizetype before = sender.sent.size();
        ReceivedReport r{QStringLiteral("1001"), {}, clock.now(), {}};
        r.lines.append({QStringLiteral("01"), {}, 1, {}, {}, {}});
        QElapsedTimer wait;
        wait.start();
        if (!store.store(r))
            return {};
        if (received)
            received();
        while (sender.sent.size() == before && wait.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        waits.append(wait.elapsed());
    }
    return waits;
}

void print(const QString& setUp, QList<qint64> waits)
{
    QTextStream out(stdout);
    if (waits.isEmpty()) {
        out << setUp << ": niet gemeten" << Qt::endl;
        return;
    }
    std::sort(waits.begin(), waits.end());
    out << setUp << ": " << waits.size() << " meldingen, mediaan " << waits[waits.size() / 2] << " ms, langste "
        << waits.last() << " ms" << Qt::endl;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int reports = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;
    test::FakeClock clock(QDateTime(QDate(2026, 12, 2), QTime(10, 15)));
    QString error;
    {
        test::TestDatabase db;
        if (!prepare(db, error))
            return QTextStream(stderr) << error << Qt::endl, 1;
        BenchWorkstation console(db, clock, QStringLiteral("console"));
        // Its own receiver's event takes the report in at once.
        print(QStringLiteral("een console"),
              measure(*console.conn, clock, reports, [&] { (void)console.console->showNewActueel(); }, console.sms));
    }
    {
        test::TestDatabase db;
        if (!prepare(db, error))
            return QTextStream(stderr) << error << Qt::endl, 1;
        BenchWorkstation console(db, clock, QStringLiteral("console"));
        console.console->setSending(false); // the station beside it holds the modem
        BenchWorkstation station(db, clock, QStringLiteral("station"));
        station.console->setIntakeOnlyWhenUnmanned(true);
        print(QStringLiteral("console + station op een computer (SQLite)"),
              measure(*console.conn, clock, reports, [&] { (void)console.console->showNewActueel(); }, station.sms));
    }
    if (!test::PgTestServer::available()) {
        print(QStringLiteral("twee stations (PostgreSQL)"), {});
        return 0;
    }
    test::PgTestServer server;
    const QByteArray saved = qgetenv("TAVIRO_TEST_DATABASE");
    qputenv("TAVIRO_TEST_DATABASE", server.url().toUtf8());
    {
        test::TestDatabase db;
        if (!prepare(db, error))
            return QTextStream(stderr) << error << Qt::endl, 1;
        BenchWorkstation receiving(db, clock, QStringLiteral("st1"));
        receiving.console->delivery().modemStanding().noteModemState(false, QStringLiteral("geen netwerk"));
        BenchWorkstation sending(db, clock, QStringLiteral("st2"));
        print(QStringLiteral("twee stations (PostgreSQL)"),
              measure(*receiving.conn, clock, reports, [&] { (void)receiving.console->showNewActueel(); }, sending.sms));
    }
    qputenv("TAVIRO_TEST_DATABASE", saved);
    return 0;
}
