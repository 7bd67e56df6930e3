// A PostgreSQL server whose machine loses power or network sends no reset:
// its packets simply stop. The kernel answers for a stopped process, so
// only a packet filter shows what a vanished host does. The test runs in a
// network namespace of its own (made at start), where dropping the server's
// packets touches nobody else's loopback.
#include "DatabaseConnector.h"
#include "PgTestServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <cstdio>
#include <vector>

#include <unistd.h>

using namespace taviro;

namespace {

constexpr const char* kOwnNetwork = "TAVIRO_TEST_OWN_NETWORK";
constexpr const char* kNoNetwork = "TAVIRO_TEST_NO_OWN_NETWORK";

bool run(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return false;
    p.write(input);
    p.closeWriteChannel();
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestVanishedServer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void vanishedServerIsNoticedWithin30Seconds()
    {
        // Part of the PostgreSQL run (scripts/test-postgresql.sh), which has
        // the server programs; it brings a server of its own.
        if (qEnvironmentVariable("TAVIRO_TEST_DATABASE").isEmpty())
            QSKIP("runs with scripts/test-postgresql.sh");
        if (const QString why = qEnvironmentVariable(kNoNetwork); !why.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no network namespace of our own on this machine: ") + why));
        if (!run(QStringLiteral("nft"), {QStringLiteral("--version")}))
            QSKIP("nft is missing (package nftables)");

        test::PgTestServer server;
        QVERIFY2(!server.url().isEmpty(), qPrintable(server.error()));
        auto opened = DatabaseConnector::open(DatabaseSettings::fromText(server.url()),
                                              DatabaseConnector::OpenMode::Server);
        QVERIFY2(opened.ok(), qPrintable(opened.error()));
        const DatabaseConnector& conn = **opened;
        QVERIFY(conn.scalar(QStringLiteral("SELECT 1")).ok());

        // From now on the server's host is gone: nothing arrives from it,
        // nothing reaches it, and nobody says so.
        const QString port = QString::number(QUrl(server.url()).port());
        const QString rules = QStringLiteral("table inet verdwenen {\n"
                                             "  chain in { type filter hook input priority 0; policy accept;\n"
                                             "    tcp sport %1 drop\n    tcp dport %1 drop\n  }\n}\n")
                                  .arg(port);
        QVERIFY(run(QStringLiteral("nft"), {QStringLiteral("-f"), QStringLiteral("-")}, rules.toUtf8()));

        QElapsedTimer waited;
        waited.start();
        auto answer = conn.scalar(QStringLiteral("SELECT 1"));
        const qint64 ms = waited.elapsed();
        QVERIFY(!answer.ok());
        QVERIFY2(ms < 30000, qPrintable(QStringLiteral("noticed after %1 ms").arg(ms)));
        QVERIFY2(conn.lost(), qPrintable(answer.error()));
        qInfo("vanished server noticed after %lld ms: %s", ms, qPrintable(answer.error()));
    }
};

// Starts the test again inside a network namespace of its own with its
// loopback up; where the machine cannot make one, the test says why and skips.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet(kOwnNetwork) && !qEnvironmentVariableIsSet(kNoNetwork)
        && !qEnvironmentVariable("TAVIRO_TEST_DATABASE").isEmpty()) {
        const QByteArray unshare = ::geteuid() == 0 ? "unshare --net" : "unshare --net --map-root-user";
        QByteArray said;
        int status = -1;
        if (FILE* probe = ::popen((unshare + " ip link set lo up 2>&1").constData(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, probe))
                said += buffer;
            status = ::pclose(probe);
        }
        if (status == 0) {
            qputenv(kOwnNetwork, "1");
            QByteArrayList command = unshare.split(' ');
            command << "sh" << "-c" << "ip link set lo up && exec \"$0\" \"$@\"";
            for (int i = 0; i < argc; ++i)
                command << argv[i];
            std::vector<char*> args;
            for (QByteArray& a : command)
                args.push_back(a.data());
            args.push_back(nullptr);
            ::execvp(args.front(), args.data());
            said = "exec unshare failed";
        }
        qputenv(kNoNetwork, said.trimmed().isEmpty() ? QByteArray("unshare --net failed") : said.trimmed());
    }
    QCoreApplication app(argc, argv);
    TestVanishedServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_vanishedserver.moc"
