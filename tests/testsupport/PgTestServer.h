#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace taviro::test {

// A throw-away PostgreSQL server of a test's own (scripts/pg-test-server.sh),
// for tests that kill, restart or fail over the server and would upset any
// other test sharing one. With a standby it is a replicated pair: the
// primary and a synchronous streaming standby, each on a free port.
class PgTestServer
{
public:
    enum class Kind { Single, Pair };
    explicit PgTestServer(Kind kind = Kind::Single);
    ~PgTestServer();
    PgTestServer(const PgTestServer&) = delete;
    PgTestServer& operator=(const PgTestServer&) = delete;

    // Whether the server programs are installed at all.
    static bool available();

    // The server's maintenance database; for a pair, both hosts in one URL.
    QString url() const { return m_url; }
    QString error() const { return m_error; }

    // "kill" (as a crash), "resume" (same port) or "promote" the server at
    // `index` (0 the primary, 1 the standby).
    bool run(const QString& command, int index = 0);

private:
    QString dir(int index) const;
    QString port(int index) const;
    bool call(const QStringList& args);

    QTemporaryDir m_dir;
    int m_servers = 0;
    QString m_url, m_error;
};

} // namespace taviro::test
