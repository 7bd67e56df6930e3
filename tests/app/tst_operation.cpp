// The console as an operating system meets it: a lock file someone else left,
// a signal from the session or systemctl, files other users must not read,
// and a log that must never show a password.
#include "ChildProcess.h"
#include "DatabaseConnector.h"
#include "LegacyDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace taviro;

namespace {

constexpr uid_t kNobody = 65534;
constexpr uid_t kStranger = 65533;

mode_t modeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 0777) : mode_t(07777);
}

QString readAll(const QString& folder)
{
    QString all;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        QFile f(QDir(folder).filePath(name));
        if (f.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(f.readAll());
    }
    return all;
}

} // namespace

class TestOperation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_run = 0;

    // A folder of its own for every start: database, log and lock.
    QString freshFolder()
    {
        const QString folder = m_dir.filePath(QString::number(++m_run));
        QDir().mkpath(folder + QStringLiteral("/Logger"));
        return folder;
    }

    static QStringList env(const QString& folder, const QString& database)
    {
        return {QStringLiteral("TAVIRO_DATABASE=") + database, QStringLiteral("TAVIRO_NONINTERACTIVE=1"),
                QStringLiteral("TAVIRO_LOGGER_DIR=") + folder + QStringLiteral("/Logger"),
                QStringLiteral("TAVIRO_INSTANCE_LOCK=") + folder + QStringLiteral("/taviro.lock")};
    }

    // The console as the unprivileged user nobody, for what root would get
    // through regardless.
    static void startAsNobody(QProcess& console, const QStringList& environment)
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : environment + QStringList{QStringLiteral("QT_QPA_PLATFORM=offscreen"), QStringLiteral("HOME=/tmp")})
            e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
        console.setProcessEnvironment(e);
        console.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                  QStringLiteral("--clear-groups"), test::binDir() + QStringLiteral("/taviro")});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7777));
    }

    // Whatever lies in the lock's place, only a running console holds the lock.
    void aLeftOrPlantedLockFileDoesNotBlock_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("asNobody");
        QTest::newRow("naming a living process") << QStringLiteral("living pid") << false;
        QTest::newRow("another user's, readable") << QStringLiteral("stranger 0644") << true;
        QTest::newRow("another user's, unreadable") << QStringLiteral("stranger 0600") << true;
    }
    void aLeftOrPlantedLockFileDoesNotBlock()
    {
        QFETCH(QString, left);
        QFETCH(bool, asNobody);
        if (asNobody && ::geteuid() != 0)
            QSKIP("planting another user's file takes root");
        const QString folder = freshFolder();
        const QString database = folder + QStringLiteral("/taviro.db");
        QVERIFY(test::createLegacyDatabase(database, 29).ok());
        const QString lock = folder + QStringLiteral("/taviro.lock");
        {
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly));
            // What a console in another PID namespace left: a PID that is alive here.
            if (left == QLatin1String("living pid"))
                f.write(QByteArray::number(::getpid()) + "\ntaviro\n" + QSysInfo::machineHostName().toUtf8() + '\n');
        }
        if (asNobody) {
            QVERIFY(::chown(QFile::encodeName(lock).constData(), kStranger, kStranger) == 0);
            QVERIFY(::chmod(QFile::encodeName(lock).constData(), left.endsWith(QLatin1String("0600")) ? 0600 : 0644) == 0);
            for (const QString& p : {folder, folder + QStringLiteral("/Logger")})
                QFile::setPermissions(p, QFileDevice::Permissions(0x7777));
            QFile::setPermissions(database, QFileDevice::Permissions(0x6666));
        }
        QProcess console;
        if (asNobody)
            startAsNobody(console, env(folder, database));
        else
            test::startProgram(console, QStringLiteral("taviro"), {}, env(folder, database));
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart")), qPrintable(test::stderrSeen(console)));
        QVERIFY(!test::stderrSeen(console).contains(QStringLiteral("al opgestart")));
        test::stopProgram(console, 10000);
    }

    // A log-out, Ctrl-C or systemctl stop ends the console as the operator's
    // close does: services stopped, a line in the log, the lock free again.
    void aTerminationSignalEndsTheConsoleCleanly_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("servicesToo");
        QTest::newRow("kill") << int(SIGTERM) << QStringLiteral("SIGTERM") << false;
        // The service manager and a terminal signal every process at once:
        // services dying of it are no reason to start them again.
        QTest::newRow("systemctl stop") << int(SIGTERM) << QStringLiteral("SIGTERM") << true;
        QTest::newRow("Ctrl-C") << int(SIGINT) << QStringLiteral("SIGINT") << true;
        QTest::newRow("session ends") << int(SIGHUP) << QStringLiteral("SIGHUP") << false;
    }
    void aTerminationSignalEndsTheConsoleCleanly()
    {
        QFETCH(int, signalNumber);
        QFETCH(QString, name);
        QFETCH(bool, servicesToo);
        const QString folder = freshFolder();
        const QString database = folder + QStringLiteral("/taviro.db");
        QVERIFY(test::createLegacyDatabase(database, 29).ok());
        QProcess console;
        test::startProgram(console, QStringLiteral("taviro"), {}, env(folder, database));
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart")), qPrintable(test::stderrSeen(console)));
        const QList<qint64> services = test::childrenOf(console.processId());

        if (servicesToo)
            for (qint64 service : services)
                ::kill(pid_t(service), signalNumber);
        QCOMPARE(::kill(pid_t(console.processId()), signalNumber), 0);
        QVERIFY(console.waitForFinished(20000));
        QCOMPARE(console.exitStatus(), QProcess::NormalExit);
        QCOMPARE(console.exitCode(), 0);
        const QString logged = readAll(folder + QStringLiteral("/Logger"));
        const qsizetype stopLine = logged.indexOf(QStringLiteral(" Taviro gestopt door signaal ") + name);
        QVERIFY2(stopLine >= 0, qPrintable(logged));
        QVERIFY2(!logged.mid(stopLine).contains(QStringLiteral("opnieuw starten")), qPrintable(logged));
        for (qint64 service : services)
            QVERIFY2(::kill(pid_t(service), 0) != 0, "a service outlived its console");
        QCOMPARE(QProcess::execute(QStringLiteral("flock"), {QStringLiteral("-n"), folder + QStringLiteral("/taviro.lock"),
                                                             QStringLiteral("true")}),
                 0);
    }

    // The database, its upgrade backup and the log hold passwords and phone
    // numbers; whatever the caller's umask, others get nothing.
    void nothingIsOpenToOthers()
    {
        const mode_t before = ::umask(022);
        const QString folder = freshFolder();
        const QString created = folder + QStringLiteral("/nieuw.db");
        const int made = QProcess::execute(test::binDir() + QStringLiteral("/taviro-db"),
                                           {QStringLiteral("create"), QStringLiteral("--demo"), created});
        QCOMPARE(made, 0);
        // Every operator and the station write it: the group reads and writes.
        QCOMPARE(modeOf(created) & 0777, mode_t(0660));
        {
            auto c = DatabaseConnector::open(DatabaseSettings::fromText(created));
            QVERIFY(c.ok());
            QVERIFY((*c)->exec(QStringLiteral("UPDATE settings SET OnbemandeMeldingEmail = 'x@example.nl'")).ok());
            for (const QString& companion : {QStringLiteral("-wal"), QStringLiteral("-shm")})
                QCOMPARE(modeOf(created + companion) & 0777, mode_t(0660));
        }

        // An old database the installer kept for its owner alone: so stays its backup.
        const QString old = folder + QStringLiteral("/oud.db");
        QVERIFY(test::createLegacyDatabase(old, 0).ok());
        QVERIFY(::chmod(QFile::encodeName(old).constData(), 0600) == 0);
        QProcess console;
        test::startProgram(console, QStringLiteral("taviro"), {}, env(folder, old));
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart")), qPrintable(test::stderrSeen(console)));
        test::stopProgram(console, 10000);
        ::umask(before);

        const QStringList backups = QDir(folder).entryList({QStringLiteral("oud.db.2*")}, QDir::Files);
        QCOMPARE(backups.size(), 1);
        QCOMPARE(modeOf(folder + QLatin1Char('/') + backups.first()), mode_t(0600));
        const QStringList logs = QDir(folder + QStringLiteral("/Logger")).entryList({QStringLiteral("*.txt")}, QDir::Files);
        QVERIFY(!logs.isEmpty());
        for (const QString& log : logs)
            QCOMPARE(modeOf(folder + QStringLiteral("/Logger/") + log) & 0777, mode_t(0660));
    }

    // The start line names the database, and a refusal names the server: the
    // password in a PostgreSQL URL shows as stars in both.
    void noPasswordInTheLog()
    {
        const QString folder = freshFolder();
        const QString secret = QStringLiteral("Zeer-Geheim-4711");
        const QString url = QStringLiteral("postgresql://taviro:") + secret + QStringLiteral("@127.0.0.1:9/taviro");
        QProcess console;
        test::startProgram(console, QStringLiteral("taviro"), {}, env(folder, url));
        QVERIFY(console.waitForFinished(60000));
        const QString said = QString::fromUtf8(console.readAllStandardError());
        QCOMPARE(console.exitCode(), 3);
        const QString logged = readAll(folder + QStringLiteral("/Logger"));
        QVERIFY2(!logged.isEmpty(), "the refusal is logged");
        QVERIFY2(!logged.contains(secret), qPrintable(logged));
        QVERIFY2(!said.contains(secret), qPrintable(said));
        QVERIFY2(logged.contains(QStringLiteral("taviro:***@127.0.0.1")), qPrintable(logged));
    }
};

QTEST_GUILESS_MAIN(TestOperation)
#include "tst_operation.moc"
