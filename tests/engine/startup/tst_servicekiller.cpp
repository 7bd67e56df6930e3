#include "ProcessTable.h"
#include "ServiceKiller.h"

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
        ServiceKiller killer([&](int ms) { QCOMPARE(ms, 500); ++pauses; });
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
        ServiceKiller killer([&](int) { ++pauses; });
        QVERIFY(killer.killApp(QStringLiteral("tavirotwinprobe")));
        QVERIFY(endsSoon(*a));
        QVERIFY(endsSoon(*b));
        QCOMPARE(pauses, 2);
    }

    void noMatchMeansNoWait()
    {
        int pauses = 0;
        ServiceKiller killer([&](int) { ++pauses; });
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
        ServiceKiller killer([](int) {}, 300);
        QVERIFY(killer.killApp(QStringLiteral("TaviroStubbornProbe")));
        QVERIFY(endsSoon(p));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
    }

    void neverEndsItself()
    {
        ServiceKiller killer([](int) {});
        const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QVERIFY(!killer.killApp(self)); // only this test process carries the name
        QVERIFY(!killer.killProcess(::getpid()));
    }
};

QTEST_GUILESS_MAIN(TestServiceKiller)
#include "tst_servicekiller.moc"
