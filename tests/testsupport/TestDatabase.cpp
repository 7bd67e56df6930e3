#include "TestDatabase.h"

#include "DatabaseCreator.h"
#include "DemoInstallation.h"
#include "PostgresAddress.h"

#include <QCoreApplication>

#include <atomic>

namespace taviro::test {

namespace {

std::atomic<int> databaseCounter{0};

// Creating and dropping databases happens on the server's maintenance
// database, never on the test's own (PostgreSQL cannot drop the one it is in).
Status onServer(const QString& serverUrl, const QString& statement)
{
    auto admin = DatabaseConnector::open(DatabaseSettings::fromText(serverUrl),
                                         DatabaseConnector::OpenMode::Server);
    if (!admin)
        return Status::failure(admin.error());
    return (*admin)->exec(statement);
}

} // namespace

QString TestDatabase::serverUrl()
{
    const QString url = qEnvironmentVariable("TAVIRO_TEST_DATABASE").trimmed();
    return DatabaseSettings::fromText(url).dialect == Dialect::PostgreSQL ? url : QString();
}

TestDatabase::TestDatabase(Empty) : m_path(m_dir.filePath(QStringLiteral("taviro.db")))
{
    makePlace();
}

TestDatabase::TestDatabase(bool demo) : m_path(m_dir.filePath(QStringLiteral("taviro.db")))
{
    if (!makePlace())
        return;
    auto created = createDatabase(settings(), {QStringLiteral("op1"), QStringLiteral("geheim"),
                                               QStringLiteral("Operator Een")});
    if (!created) {
        m_error = created.error();
        return;
    }
    if (demo)
        if (Status s = addDemoInstallation(**created); !s)
            m_error = s.error();
}

bool TestDatabase::makePlace()
{
    const QString server = serverUrl();
    if (server.isEmpty())
        return true;
    // Tests run side by side, each in a process of its own.
    m_dropName = QStringLiteral("taviro_test_%1_%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(++databaseCounter);
    if (Status s = onServer(server, QStringLiteral("CREATE DATABASE %1").arg(m_dropName)); !s) {
        m_error = s.error();
        m_dropName.clear();
        return false;
    }
    m_path = PostgresAddress::withDatabase(server, m_dropName);
    return true;
}

TestDatabase::~TestDatabase()
{
    if (m_dropName.isEmpty())
        return;
    // FORCE: a child process the test started may still hold a connection.
    if (Status s = onServer(
            serverUrl(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_dropName));
        !s)
        qWarning("%s", qPrintable(s.error()));
}

ConnectorPtr TestDatabase::connect() const
{
    auto c = DatabaseConnector::open(settings());
    if (!c) {
        qWarning("%s", qPrintable(c.error()));
        return nullptr;
    }
    return std::move(c.value());
}

} // namespace taviro::test
