// The whole program under a faked clock: a console started unmanned on a
// database holding an unseen report takes it in at the end of its start-up and
// forwards it to whoever is on duty at that moment.
#include "ChildProcess.h"
#include "DatabaseConnector.h"
#include "Repositories.h"
#include "SqlReportStore.h"
#include "TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace taviro;

class TestUnmannedStart : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unseenReportIsForwardedAtStart()
    {
        test::TestDatabase db(true);
        QVERIFY2(db.ok(), qPrintable(db.error()));
        {
            auto conn = db.connect();
            ReceivedReport r;
            r.melderAlias = QStringLiteral("1001"); // forwards to the standard week schedule
            r.receivedAt = QDateTime(QDate(2026, 12, 2), QTime(10, 14, 0));
            ReceivedLine line;
            line.functie = QStringLiteral("01");
            line.date = r.receivedAt;
            r.lines.append(line);
            QVERIFY(SqlReportStore(*conn).store(r).ok());
        }
        // A program folder of its own, so the log lands in <root>/Logger/.
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QFile::copy(test::binDir() + QStringLiteral("/taviro"), root.filePath(QStringLiteral("bin/taviro"))));
        QFile::setPermissions(root.filePath(QStringLiteral("bin/taviro")), QFileDevice::ExeOwner | QFileDevice::ReadOwner);

        QProcess console;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("TAVIRO_DATABASE"), db.path());
        env.insert(QStringLiteral("TAVIRO_NONINTERACTIVE"), QStringLiteral("1"));
        env.insert(QStringLiteral("TAVIRO_NO_SOUND"), QStringLiteral("1"));
        env.insert(QStringLiteral("TAVIRO_INSTANCE_LOCK"), root.filePath(QStringLiteral("taviro.lock")));
        // The faked clock is preloaded into the console itself rather than
        // through the faketime wrapper, so the signals below reach the console
        // and not a wrapper that would leave it running.
        const QString fakeTimeLibrary = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
        if (!QFile::exists(fakeTimeLibrary))
            QSKIP("libfaketime is not installed");
        env.insert(QStringLiteral("LD_PRELOAD"), fakeTimeLibrary);
        // Wednesday 2 December 2026, 10:15: the day block of the week schedule.
        env.insert(QStringLiteral("FAKETIME"), QStringLiteral("@2026-12-02 10:15:00"));
        // The preloaded clock comes ahead of the sanitizer's runtime in a sanitizer build.
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        console.setProcessEnvironment(env);
        console.start(root.filePath(QStringLiteral("bin/taviro")),
                      {QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("onbemand")});
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart")),
                 qPrintable(test::stderrSeen(console)));
        QTest::qWait(1500);
        test::stopProgram(console);
        QCOMPARE(console.exitStatus(), QProcess::NormalExit);

        auto conn = db.connect();
        auto melding = conn->query(QStringLiteral("SELECT bemand, seen FROM meldingen"));
        QVERIFY(melding.ok() && melding->next());
        QCOMPARE(melding->value(0).toInt(), 0); // stamped unmanned
        QCOMPARE(melding->value(1).toInt(), 1); // taken in
        melding->finish();
        const QList<Ontvanger> recipients = *OntvangerRepository(*conn).listActive();
        const auto jan = std::find_if(recipients.begin(), recipients.end(),
                                      [](const Ontvanger& o) { return o.alias == QLatin1String("JDV"); });
        QVERIFY(jan != recipients.end());
        auto dispatches = UitmeldRepository(*conn).list();
        QVERIFY(dispatches.ok());
        QCOMPARE(dispatches->size(), 1);
        QCOMPARE(dispatches->first().ontvanger_id, jan->id);
        QCOMPARE(UitmeldLinkRepository(*conn).forUitmeld(dispatches->first().id)->size(), 1);

        QFile log(root.filePath(QStringLiteral("Logger/02-12-2026.txt")));
        QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
        const QString lines = QString::fromUtf8(log.readAll());
        QVERIFY2(lines.contains(QStringLiteral("02-12-2026 10:15:0")), qPrintable(lines));
        QVERIFY2(lines.contains(QStringLiteral(" Taviro gestart met database ") + db.path()), qPrintable(lines));
        // No SMS service beside this copy of the program: the SMS stays owed and says so.
        QVERIFY2(lines.contains(QStringLiteral(" SMS-dienst kan niet worden gestart; SMS aan Jan de Vries niet verzonden.\r\n")),
                 qPrintable(lines));
        QCOMPARE(lines.count(QStringLiteral("Taviro gestart met database")), 1);
    }
};

QTEST_GUILESS_MAIN(TestUnmannedStart)
#include "tst_unmannedstart.moc"
