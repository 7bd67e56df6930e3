// The real taviro-station: what it tells the service manager, how it stops,
// whom it refuses, and the night a manned console dies beside it.
#include "ChildProcess.h"
#include "DatabaseConnector.h"
#include "Repositories.h"
#include "Installation.h"
#include "ServiceTestSupport.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSysInfo>
#include <QThread>
#include <QTest>

#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace taviro;

namespace {

// The service manager's end of NOTIFY_SOCKET.
class NotifySocket
{
public:
    explicit NotifySocket(const QByteArray& name)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path, name.constData(), size_t(name.size()));
        if (a.sun_path[0] == '@')
            a.sun_path[0] = '\0';
        const socklen_t len = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(name.size()));
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), len) == 0;
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool bound() const { return m_bound; }
    // Every message that came in so far.
    QStringList drain()
    {
        char buf[4096];
        ssize_t n;
        while ((n = ::recv(m_fd, buf, sizeof buf, 0)) > 0)
            m_seen << QString::fromUtf8(buf, int(n));
        return m_seen;
    }
    bool waitFor(const QString& message, int count, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (drain().count(message) >= count)
                return true;
            QTest::qWait(50);
        }
        return drain().count(message) >= count;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
    QStringList m_seen;
};

QString readLogs(const QString& folder)
{
    QString all;
    for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.txt")}, QDir::Files)) {
        QFile file(f.filePath());
        if (file.open(QIODevice::ReadOnly))
            all += QString::fromUtf8(file.readAll());
    }
    return all;
}

} // namespace

class TestStation : public QObject
{
    Q_OBJECT

    QStringList environment(const test::TestDatabase& db, const QString& name) const
    {
        return {QStringLiteral("TAVIRO_DATABASE=") + db.path(),
                QStringLiteral("TAVIRO_INSTANCE_LOCK=") + db.folder() + QStringLiteral("/console.lock"),
                QStringLiteral("TAVIRO_LOGGER_DIR=") + db.folder() + QStringLiteral("/log/"),
                QStringLiteral("TAVIRO_MAIL_QUEUE=") + db.folder() + QStringLiteral("/mailqueue"),
                QStringLiteral("TAVIRO_STATION=") + name,
                QStringLiteral("TAVIRO_NONINTERACTIVE=1"),
                QStringLiteral("TAVIRO_HEARTBEAT_SECONDS=1"),
                QStringLiteral("TAVIRO_HEARTBEAT_STALE_SECONDS=4")};
    }

    // The room's mail goes to the test's SMTP server; `unmanned` is the
    // address that hears of a silent console.
    static void useMailServer(const test::TestDatabase& db, const test::SmtpTestServer& smtp, const QString& unmanned = {})
    {
        auto conn = db.connect();
        QVERIFY(conn->exec(QStringLiteral("UPDATE settings SET mailserver = ?, \"MailServerPort\" = ?, mailfrommail = ?, "
                                          "authentification = ?, \"OnbemandeMeldingEmail\" = ?"),
                           {QStringLiteral("127.0.0.1"), smtp.port(), QStringLiteral("meldkamer@taviro.test"), 0, unmanned}));
    }

private Q_SLOTS:
    // A dispatch waiting at start whose SMS goes to a GSM modem that does not
    // answer: the station still tells the service manager it is up at once,
    // instead of after the SMS wait, when systemd would have given up on it;
    // and a stop asked for during that wait ends it, instead of being lost
    // because the main event loop had not started yet.
    void aSilentModemDoesNotHoldUpTheStart()
    {
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        auto closeMaster = qScopeGuard([master] { ::close(master); });
        const QString modem = QString::fromLocal8Bit(ptsname(master)); // nobody ever answers on it
        {
            auto conn = db.connect();
            test::Installation inst(*conn);
            const qint64 jan = inst.recipient(QStringLiteral("Jan"), QStringLiteral("+31612345678"), {}, true, false);
            const qint64 melder = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Gemaal"), 1, 0, 0);
            const qint64 point = inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak"));
            QVERIFY(inst.ok());
            ComPort gsm;
            gsm.number = 6;
            gsm.designation = 2;
            gsm.baudrate = 9600;
            gsm.timeout = 1;
            gsm.is_gsm = true;
            QVERIFY(ComPortRepository(*conn).insert(gsm).ok());
            // A dispatch the way an older program writes one: taken in, its
            // line naming it, waiting to be sent.
            const QVariant now = sql::dateValue(QDateTime::currentDateTime(), conn->dialect());
            QVERIFY(conn->exec(QStringLiteral("INSERT INTO meldingen (melding_date, bemand, %1, seen) VALUES (?, ?, ?, ?)")
                                   .arg(conn->id(QStringLiteral("show"))),
                               {now, sql::boolValue(false), sql::boolValue(true), sql::boolValue(true)}));
            QVERIFY(conn->exec(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, "
                                              "bevestiger, bevestigtype) VALUES (?, 0, ?, 0, 0, 0)"),
                               {jan, sql::boolValue(false)}));
            QVERIFY(conn->exec(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, flank, "
                                              "actief, date, uitmelden) SELECT MAX(meldingen.id), ?, ?, "
                                              "(SELECT MAX(id) FROM uitmeld), 1, ?, ?, ? FROM meldingen"),
                               {melder, point, sql::boolValue(true), now, sql::boolValue(true)}));
        }
        const QByteArray socketName = "@taviro-notify-silent-" + QByteArray::number(::getpid());
        NotifySocket manager(socketName);
        QVERIFY(manager.bound());
        QProcess station;
        test::startProgram(station, QStringLiteral("taviro-station"), {},
                           environment(db, QStringLiteral("st-silent")) +
                               QStringList{QStringLiteral("NOTIFY_SOCKET=") + QString::fromLocal8Bit(socketName),
                                           QStringLiteral("TAVIRO_COM6=") + modem});
        const bool ready = manager.waitFor(QStringLiteral("READY=1"), 1, 10000);
        // The SMS service it started must not be able to speak for the
        // station to the service manager.
        QTest::qWait(500);
        QStringList serviceEnvironment;
        for (qint64 service : test::childrenOf(station.processId()))
            serviceEnvironment << test::environmentOf(service);
        station.terminate();
        // A modem in the middle of a command is given a few seconds to finish
        // before its service is ended; well within systemd's stop time.
        QVERIFY(station.waitForFinished(45000));
        const QByteArray said = station.readAllStandardError();
        QVERIFY2(ready, said.constData());
        QCOMPARE(station.exitCode(), 0);
        QVERIFY2(!serviceEnvironment.isEmpty(), "no service ran");
        for (const QString& variable : {QStringLiteral("NOTIFY_SOCKET="), QStringLiteral("WATCHDOG_")})
            QVERIFY2(!serviceEnvironment.join(QLatin1Char('\n')).contains(variable), qPrintable(variable));
        // Its stderr is no journal here: plain lines, no priority prefixes.
        QVERIFY2(said.contains("gestopt door signaal SIGTERM"), said.constData());
        QVERIFY2(!said.contains("<4>") && !said.contains("<6>"), said.constData());
        QVERIFY(readLogs(db.folder() + QStringLiteral("/log")).contains(
            QStringLiteral("Taviro-station st-silent gestopt door signaal SIGTERM")));
    }

    // "Up" for the service manager means the backlog is in: a report stored
    // while no station ran is taken in (marked, its dispatches written)
    // by the time READY=1 arrives, however soon the manager asks.
    void readyComesOnceTheBacklogIsTakenIn()
    {
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        auto conn = db.connect();
        {
            test::Installation inst(*conn);
            const qint64 melder = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Gemaal"), 1, 0, 0);
            inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak"));
            QVERIFY(inst.ok());
            ReceivedReport r{QStringLiteral("1001"), {}, QDateTime::currentDateTime(), {}};
            r.lines.append({QStringLiteral("01"), {}, 1, {}, {}, {}});
            QVERIFY(SqlReportStore(*conn).store(r));
        }
        const QByteArray socketName = "@taviro-notify-backlog-" + QByteArray::number(::getpid());
        NotifySocket manager(socketName);
        QVERIFY(manager.bound());
        QProcess station;
        test::startProgram(station, QStringLiteral("taviro-station"), {},
                           environment(db, QStringLiteral("st-backlog")) +
                               QStringList{QStringLiteral("NOTIFY_SOCKET=") + QString::fromLocal8Bit(socketName)});
        auto closeStation = qScopeGuard([&station] { test::stopProgram(station); });
        QDeadlineTimer deadline(20000);
        while (!manager.drain().contains(QStringLiteral("READY=1")) && !deadline.hasExpired())
            QThread::msleep(5); // no event loop: look the moment it arrives
        QVERIFY2(manager.drain().contains(QStringLiteral("READY=1")), station.readAllStandardError().constData());
        auto seen = conn->scalar(QStringLiteral("SELECT seen FROM meldingen"));
        QVERIFY(seen);
        QVERIFY(sql::toBool(*seen));
    }

    void tellsTheServiceManagerAndStopsOnSigterm_data()
    {
        QTest::addColumn<bool>("abstract");
        QTest::newRow("abstract socket") << true;
        QTest::newRow("socket file") << false;
    }

    void tellsTheServiceManagerAndStopsOnSigterm()
    {
        QFETCH(bool, abstract);
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        const QByteArray socketName = abstract ? "@taviro-notify-" + QByteArray::number(::getpid())
                                               : QFile::encodeName(db.folder() + QStringLiteral("/notify"));
        NotifySocket manager(socketName);
        QVERIFY(manager.bound());

        QProcess station;
        test::startProgram(station, QStringLiteral("taviro-station"), {},
                           environment(db, QStringLiteral("st-notify")) +
                               QStringList{QStringLiteral("NOTIFY_SOCKET=") + QString::fromLocal8Bit(socketName),
                                           QStringLiteral("WATCHDOG_USEC=400000")});
        QVERIFY2(test::waitForStderr(station, QStringLiteral("Taviro-station gestart")),
                 qPrintable(test::stderrSeen(station)));
        QVERIFY(manager.waitFor(QStringLiteral("READY=1"), 1, 5000));
        // Pings every 200 ms from the event loop.
        QVERIFY(manager.waitFor(QStringLiteral("WATCHDOG=1"), 4, 5000));

        station.terminate();
        QVERIFY(station.waitForFinished(15000));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
        QVERIFY(manager.waitFor(QStringLiteral("STOPPING=1"), 1, 1000));
        const QStringList order = manager.drain();
        QVERIFY(order.indexOf(QStringLiteral("READY=1")) < order.indexOf(QStringLiteral("STOPPING=1")));
        QVERIFY(readLogs(db.folder() + QStringLiteral("/log")).contains(
            QStringLiteral("Taviro-station st-notify gestopt door signaal SIGTERM")));
        // The journal gets the same lines.
        QVERIFY(station.readAllStandardError().contains("gestopt door signaal SIGTERM"));
        // Stopped on purpose: its row says so, and it is not left beating.
        auto conn = db.connect();
        auto row = conn->query(QStringLiteral("SELECT bemand FROM werkplek WHERE naam = ? AND soort = ?"),
                               {QStringLiteral("st-notify"), QStringLiteral("station")});
        QVERIFY(row && row->next());
        QVERIFY(!sql::toBool(row->value(0)));
    }

    void aNameInUseIsRefusedButOurOwnStaleRowIsNot_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("a live station elsewhere") << QStringLiteral("andere-pc") << qint64(77) << 6;
        QTest::newRow("our own row after a crash") << QSysInfo::machineHostName() << qint64(999999999) << 0;
    }

    void aNameInUseIsRefusedButOurOwnStaleRowIsNot()
    {
        QFETCH(QString, host);
        QFETCH(qint64, pid);
        QFETCH(int, exitCode);
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        {
            // The schema gains the table at the first start; a station that
            // ran before left it with a fresh beat.
            QProcess first;
            test::startProgram(first, QStringLiteral("taviro-station"), {}, environment(db, QStringLiteral("voorloper")));
            QVERIFY(test::waitForStderr(first, QStringLiteral("Taviro-station gestart")));
            test::stopProgram(first);
            auto conn = db.connect();
            QVERIFY(conn->exec(QStringLiteral("INSERT INTO werkplek (naam, soort, gebruiker, bemand, hartslag, host, pid, "
                                              "stilgemeld) SELECT ?, ?, ?, ?, hartslag, ?, ?, ? FROM werkplek"),
                               {QStringLiteral("dubbel"), QStringLiteral("station"), QString(), sql::boolValue(false), host,
                                pid, sql::boolValue(false)}));
            QVERIFY(conn->exec(QStringLiteral("UPDATE werkplek SET hartslag = hartslag + 5")));
        }
        QProcess station;
        test::startProgram(station, QStringLiteral("taviro-station"), {}, environment(db, QStringLiteral("dubbel")));
        if (exitCode != 0) {
            QVERIFY(station.waitForFinished(20000));
            QCOMPARE(station.exitCode(), exitCode);
            const QByteArray said = station.readAllStandardError();
            QVERIFY2(said.contains("Er werkt al een station met de naam dubbel (op andere-pc)"), said.constData());
            return;
        }
        QVERIFY2(test::waitForStderr(station, QStringLiteral("Taviro-station gestart")),
                 qPrintable(test::stderrSeen(station)));
        test::stopProgram(station);
        QCOMPARE(station.exitCode(), 0);
    }

    // A station and a console share one SQLite file; the console is killed
    // while manned. Reports stored after that are forwarded by the station
    // as soon as the console's silence counts, and the unmanned address hears
    // of it once.
    void aStationForwardsOnceTheMannedConsoleFallsSilent()
    {
        test::TestDatabase db(true);
        QVERIFY2(db.ok(), qPrintable(db.error()));
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        useMailServer(db, smtp, QStringLiteral("wacht@taviro.test"));
        const QStringList env = environment(db, QStringLiteral("pc1")) + QStringList{QStringLiteral("TAVIRO_NO_SOUND=1")};
        QProcess station;
        test::startProgram(station, QStringLiteral("taviro-station"), {}, env);
        QVERIFY(test::waitForStderr(station, QStringLiteral("Taviro-station gestart")));

        QProcess console;
        test::startProgram(console, QStringLiteral("taviro"),
                           {QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")}, env);
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart")),
                 qPrintable(test::stderrSeen(console)));
        auto conn = db.connect();
        const auto consoleManned = [&conn] {
            auto n = conn->scalar(QStringLiteral("SELECT COUNT(*) FROM werkplek WHERE soort = 'console' AND bemand = ?"),
                                  {sql::boolValue(true)});
            return n && sql::toLong(*n) == 1;
        };
        QTRY_VERIFY_WITH_TIMEOUT(consoleManned(), 10000);

        console.kill();
        QVERIFY(console.waitForFinished(5000));
        ReceivedReport r;
        r.melderAlias = QStringLiteral("1001");
        r.receivedAt = QDateTime::currentDateTime();
        ReceivedLine line;
        line.functie = QStringLiteral("01");
        line.date = r.receivedAt;
        r.lines.append(line);
        auto stored = SqlReportStore(*conn).store(r);
        QVERIFY(stored.ok());

        // Taken in unmanned once the silence counts (4 s here), not stamped
        // manned for an operator who is gone.
        const auto takenIn = [&conn] {
            auto q = conn->query(QStringLiteral("SELECT seen, bemand FROM meldingen ORDER BY id DESC LIMIT 1"));
            return q && q->next() && sql::toBool(q->value(0)) && !sql::toBool(q->value(1));
        };
        QTRY_VERIFY_WITH_TIMEOUT(takenIn(), 20000);
        const auto mailsAbout = [&smtp](const QString& words) {
            int n = 0;
            for (const QJsonObject& m : smtp.messages())
                if (m.value(QStringLiteral("subject")).toString().contains(words))
                    ++n;
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(mailsAbout(QStringLiteral("meldkamer onbemand")), 1, 30000);
        // The report's own copy to the unmanned address shows it was forwarded.
        QTRY_VERIFY_WITH_TIMEOUT(smtp.messages().size() >= 2, 30000);
        QTest::qWait(3000); // three more beats: still one
        QCOMPARE(mailsAbout(QStringLiteral("meldkamer onbemand")), 1);
        const QString log = readLogs(db.folder() + QStringLiteral("/log"));
        QVERIFY(log.contains(QStringLiteral("Console pc1 was bemand maar geeft sinds")));
        QVERIFY(log.contains(QStringLiteral("deze console start geen eigen diensten")));

        test::stopProgram(station);
        QCOMPARE(station.exitCode(), 0);
    }

    // A console started beside a station leaves the ports to it; when the
    // station stops, the console takes them over and sends what comes in
    // after, instead of leaving it pending until someone restarts it.
    void aConsoleBesideAStoppedStationTakesThePortsOver()
    {
        test::TestDatabase db(true);
        QVERIFY2(db.ok(), qPrintable(db.error()));
        test::SmtpTestServer smtp;
        QVERIFY(smtp.start());
        useMailServer(db, smtp);
        {
            auto conn = db.connect();
            // The operator logs in and stays unmanned: the room forwards.
            QVERIFY(conn->exec(QStringLiteral("UPDATE settings SET \"AutoBemandNaInloggen\" = ?"), {sql::boolValue(false)}));
            test::Installation inst(*conn);
            const qint64 jan = inst.recipient(QStringLiteral("Jan"), {}, QStringLiteral("jan@taviro.test"), false, true);
            WeekPlanning w = inst.weekTemplate(QStringLiteral("ALTIJD"));
            for (int day = 0; day < 7; ++day)
                for (int block = 0; block < 3; ++block)
                    w.cells[WeekPlanning::cellIndex(0, day, block)] = jan;
            const qint64 melder = inst.transmitter(QStringLiteral("2002"), QStringLiteral("Gemaal"), 1, inst.week(w), 0);
            inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak"));
            QVERIFY(inst.ok());
        }
        const QStringList env = environment(db, QStringLiteral("pc2")) + QStringList{QStringLiteral("TAVIRO_NO_SOUND=1")};
        QProcess station;
        test::startProgram(station, QStringLiteral("taviro-station"), {}, env);
        QVERIFY(test::waitForStderr(station, QStringLiteral("Taviro-station gestart")));
        QProcess console;
        test::startProgram(console, QStringLiteral("taviro"), {QStringLiteral("op1"), QStringLiteral("geheim")}, env);
        auto closeConsole = qScopeGuard([&console] { test::stopProgram(console); });
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart")),
                 qPrintable(test::stderrSeen(console)));
        QTRY_VERIFY_WITH_TIMEOUT(readLogs(db.folder() + QStringLiteral("/log"))
                                     .contains(QStringLiteral("deze console start geen eigen diensten")),
                                 10000);

        test::stopProgram(station);
        QTRY_VERIFY_WITH_TIMEOUT(readLogs(db.folder() + QStringLiteral("/log"))
                                     .contains(QStringLiteral("deze console ontvangt en verstuurt de meldingen nu zelf")),
                                 15000);
        auto conn = db.connect();
        ReceivedReport r{QStringLiteral("2002"), {}, QDateTime::currentDateTime(), {}};
        r.lines.append({QStringLiteral("01"), {}, 1, {}, {}, {}});
        QVERIFY(SqlReportStore(*conn).store(r));
        QVERIFY2(smtp.waitForMessages(1, 20000), qPrintable(readLogs(db.folder() + QStringLiteral("/log"))));
        QCOMPARE(smtp.messages().first().value(QStringLiteral("rcpt_tos")).toArray().first().toString(),
                 QStringLiteral("jan@taviro.test"));
    }
};

QTEST_GUILESS_MAIN(TestStation)
#include "tst_station.moc"
