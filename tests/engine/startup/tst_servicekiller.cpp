#include "ProcessTable.h"
#include "ServiceKiller.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

using namespace taviro;

namespace {

// A copy of sleep under another name: its /proc/PID/exe names the copy.
std::unique_ptr<QProcess> startNamed(const QTemporaryDir& dir, const QString& name, const QString& seconds = QStringLiteral("60"))
{
    const QString exe = dir.filePath(name);
    if (!QFile::exists(exe))
        QFile::copy(QStringLiteral("/bin/sleep"), exe);
    auto p = std::make_unique<QProcess>();
    p->start(exe, {seconds});
    p->waitForStarted();
    return p;
}

bool endsSoon(QProcess& p)
{
    return p.waitForFinished(5000);
}

} // namespace

class TestServiceKiller : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Names here are our own probes, so the test never ends the real services
    // another test may be running; the matching rule is the same.
    void endsEveryProcessWhoseNameEndsWithTheName_data()
    {
        QTest::addColumn<QString>("processName");
        QTest::addColumn<bool>("ended");
        QTest::newRow("exact") << QStringLiteral("TaviroProbeSvc") << true;
        QTest::newRow("longer name ending with it") << QStringLiteral("OldTaviroProbeSvc") << true;
        QTest::newRow("other case") << QStringLiteral("taviroprobesvc") << true;
        QTest::newRow("name followed by more") << QStringLiteral("TaviroProbeSvcX") << false;
        QTest::newRow("unrelated") << QStringLiteral("Unrelated") << false;
    }
    void endsEveryProcessWhoseNameEndsWithTheName()
    {
        QFETCH(QString, processName);
        QFETCH(bool, ended);
        QTemporaryDir dir;
        auto p = startNamed(dir, processName);
        QTRY_VERIFY(proc::isAlive(pid_t(p->processId())));

        int pauses = 0;
        ServiceKiller killer(dir.path(), [&](int ms) { QCOMPARE(ms, 500); ++pauses; });
        QCOMPARE(killer.killApp(QStringLiteral("TaviroProbeSvc")), ended);
        QCOMPARE(pauses, ended ? 1 : 0);
        if (ended) {
            QVERIFY(endsSoon(*p));
        } else {
            QVERIFY(p->state() == QProcess::Running);
            p->kill();
            p->waitForFinished();
        }
    }

    void twoInstancesBothEndWithAPauseEach()
    {
        QTemporaryDir dir;
        auto a = startNamed(dir, QStringLiteral("TaviroTwinProbe"));
        auto b = startNamed(dir, QStringLiteral("TaviroTwinProbe"));
        int pauses = 0;
        ServiceKiller killer(dir.path(), [&](int) { ++pauses; });
        QVERIFY(killer.killApp(QStringLiteral("tavirotwinprobe")));
        QVERIFY(endsSoon(*a));
        QVERIFY(endsSoon(*b));
        QCOMPARE(pauses, 2);
    }

    void noMatchMeansNoWait()
    {
        int pauses = 0;
        ServiceKiller killer(QDir::tempPath(), [&](int) { ++pauses; });
        QVERIFY(!killer.killApp(QStringLiteral("NoSuchTaviroProbeAnywhere")));
        QCOMPARE(pauses, 0);
    }

    // A service that ignores SIGTERM is still ended, after the grace time.
    void stubbornProcessIsKilled()
    {
        QTemporaryDir dir;
        const QString exe = dir.filePath(QStringLiteral("TaviroStubbornProbe"));
        QFile::copy(QStringLiteral("/bin/bash"), exe);
        QProcess p;
        p.start(exe, {QStringLiteral("-c"), QStringLiteral("trap '' TERM; echo ready; while :; do sleep 0.05; done")});
        QVERIFY(p.waitForReadyRead(5000));
        ServiceKiller killer(dir.path(), [](int) {}, 300);
        QVERIFY(killer.killApp(QStringLiteral("TaviroStubbornProbe")));
        QVERIFY(endsSoon(p));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    }

    // Two installations (or two test runs) on one host: each console ends
    // only the leftovers that run from its own service folder.
    void anotherInstallationsServiceSurvives_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("ended");
        QTest::newRow("same name, other folder") << QStringLiteral("other folder") << false;
        QTest::newRow("same file through a hard link") << QStringLiteral("hard link") << true;
        QTest::newRow("replaced since it started") << QStringLiteral("replaced") << true;
    }
    void anotherInstallationsServiceSurvives()
    {
        QFETCH(QString, how);
        QFETCH(bool, ended);
        QTemporaryDir ours;
        QTemporaryDir theirs;
        const QString name = QStringLiteral("TaviroNeighbourProbe");
        std::unique_ptr<QProcess> p;
        if (how == QLatin1String("hard link")) {
            p = startNamed(theirs, name);
            QVERIFY(::link(QFile::encodeName(theirs.filePath(name)).constData(),
                           QFile::encodeName(ours.filePath(name)).constData())
                    == 0);
        } else if (how == QLatin1String("replaced")) {
            p = startNamed(ours, name);
            QVERIFY(QFile::remove(ours.filePath(name))); // a new build put another file in its place
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), ours.filePath(name)));
        } else {
            p = startNamed(theirs, name);
            QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), ours.filePath(name)));
        }
        QTRY_VERIFY(proc::isAlive(pid_t(p->processId())));
        ServiceKiller killer(ours.path(), [](int) {});
        QCOMPARE(killer.killApp(name), ended);
        if (ended) {
            QVERIFY(endsSoon(*p));
        } else {
            QTest::qWait(200);
            QCOMPARE(p->state(), QProcess::Running);
            p->kill();
            p->waitForFinished();
        }
    }

    void neverEndsItself()
    {
        ServiceKiller killer(QCoreApplication::applicationDirPath(), [](int) {});
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(!killer.killApp(self)); // only this test process carries the name
        QVERIFY(!killer.killProcess(::getpid()));
    }
};

QTEST_GUILESS_MAIN(TestServiceKiller)
#include "tst_servicekiller.moc"
