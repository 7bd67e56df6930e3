#include "RoomSimulation.h"
#include "TestDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace taviro;

namespace {
// The sanitizers make every step several times slower: fewer rooms there,
// the same rules.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kRoomsOnSqlite = 100;
#else
constexpr int kRoomsOnSqlite = 500;
#endif
} // namespace

// Rooms of two to four workstations whose timers, modems and lives go
// wrong at random, each played from a seed. A failing room prints its seed,
// what happened in it and which rule broke; TAVIRO_SIM_SEED plays it again.
class TstRoomSimulation : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // Thousands of commits: on a memory file system they cost nothing.
        if (QDir(QStringLiteral("/dev/shm")).exists() && qEnvironmentVariableIsEmpty("TAVIRO_SIM_KEEP_TMPDIR"))
            qputenv("TMPDIR", "/dev/shm");
    }

    void everyRuleHoldsInEveryRoom()
    {
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        QTemporaryDir logs;
        test::sim::World world(db, logs.path());
        bool oneSeed = false;
        const quint32 only = quint32(qEnvironmentVariableIntValue("TAVIRO_SIM_SEED", &oneSeed));
        bool runsSet = false;
        const int runs = oneSeed ? 1 : qEnvironmentVariableIntValue("TAVIRO_SIM_RUNS", &runsSet);
        const int count = oneSeed ? 1 : runsSet ? runs : (db.onPostgres() ? 40 : kRoomsOnSqlite);
        if (oneSeed) {
            logs.setAutoRemove(false); // a replayed room keeps the workstations' event logs
            qInfo("logboeken in %s", qPrintable(logs.path()));
        }
        const quint32 first = oneSeed ? only : quint32(QDateTime::currentMSecsSinceEpoch() % 1000000);
        qInfo("eerste zaadje %u, %d kamers (TAVIRO_SIM_SEED=<zaadje> speelt er een opnieuw)", first, count);
        QElapsedTimer took;
        took.start();
        int dispatches = 0;
        for (int i = 0; i < count; ++i) {
            const quint32 seed = first + quint32(i);
            const QStringList failures = world.run(seed);
            dispatches += world.dispatchesSeen();
            if (!failures.isEmpty())
                QFAIL(qPrintable(QStringLiteral("zaadje %1 (TAVIRO_SIM_SEED=%1):\n%2").arg(seed).arg(failures.join(QLatin1Char('\n')))));
        }
        qInfo("%d kamers in %lld ms", count, took.elapsed());
    }
};

QTEST_GUILESS_MAIN(TstRoomSimulation)
#include "tst_roomsimulation.moc"
