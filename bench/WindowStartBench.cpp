// taviro-bench-window [REPORTS]: how long the console window takes from its
// construction to being shown with REPORTS (default 10000) reports listed.
#include "AlarmLamp.h"
#include "Console.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeServices.h"
#include "MainWindow.h"
#include "ActueelModel.h"
#include "ActueelQuery.h"
#include "ScriptedPrompt.h"
#include "ServiceKiller.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Transaction.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace taviro;

namespace {

// Stores reports that are taken in but not acknowledged, as a busy night leaves them.
bool fillReports(const DatabaseConnector& conn, int reports)
{
    Transaction tx(conn);
    if (!tx.begin())
        return false;
    const QDateTime start(QDate(2026, 12, 1), QTime(0, 0));
    for (int i = 0; i < reports; ++i) {
        auto id = conn.insert(QStringLiteral("INSERT INTO meldingen (melding_date, bemand, \"show\", seen) VALUES (?, ?, ?, ?)"),
                              {sql::dateValue(start.addSecs(i * 7), conn.dialect()), sql::boolValue(i % 2 == 0),
                               sql::boolValue(true), sql::boolValue(true)});
        if (!id)
            return false;
        if (!conn.exec(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, flank, actief, \"24uurs\") "
                                      "VALUES (?, 1, 1, 1, ?, ?)"),
                       {*id, sql::boolValue(true), sql::boolValue(false)}))
            return false;
    }
    return tx.commit().ok();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int reports = argc > 1 ? std::atoi(argv[1]) : 10000;
    test::TestDatabase db(true);
    auto conn = db.connect();
    if (!db.ok() || !conn || !fillReports(*conn, reports)) {
        std::fprintf(stderr, "setup failed: %s\n", qPrintable(db.error()));
        return 1;
    }
    test::FakeClock clock;
    test::ScriptedPrompt prompt;
    EventLog log(clock, db.folder() + QStringLiteral("/Logger/"));
    ServiceKiller killer(QCoreApplication::applicationDirPath(), [](int) {});
    test::FakeSmsService sms;
    test::FakeMailSender mail;

    QElapsedTimer timer;
    timer.start();
    const qsizetype listed = loadActueel(*conn)->size();
    std::printf("current-alarm query alone: %lld ms for %lld reports\n", static_cast<long long>(timer.restart()),
                static_cast<long long>(listed));
    Console console(*conn, clock, log, sms, mail);
    AlarmLamp lamp(log);
    MainWindow window({*conn, db.settings(), clock, prompt, log, killer, console, lamp, QString(), {}, {}, {}});
    const qint64 built = timer.elapsed();
    window.show();
    window.load({QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
    QApplication::processEvents();
    const qint64 elapsed = timer.elapsed();
    std::printf("reports listed: %d\n", window.actueelModel().rowCount());
    std::printf("window built in %lld ms, loaded and drawn in %lld ms\n", static_cast<long long>(built),
                static_cast<long long>(elapsed - built));
    std::printf("window shown with the list in %lld ms (target < 1000 ms)\n", static_cast<long long>(elapsed));
    return window.actueelModel().rowCount() == reports ? 0 : 1;
}
