#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace taviro::test {

// A loopback port nobody listens on right now.
quint16 freeLoopbackPort();

// The folder of this test's helper scripts (smtp_server.py).
QString scriptDir();

// An SMTP server (aiosmtpd) on 127.0.0.1 that writes every accepted message
// as NNNN.eml plus NNNN.json, the latter decoded by Python's own MIME parser.
class SmtpTestServer
{
public:
    struct Options
    {
        QString user, password; // non-empty: login required
        QString refuse;         // recipients containing this are refused with 550
    };
    explicit SmtpTestServer(quint16 port = 0);
    ~SmtpTestServer();

    quint16 port() const { return m_port; }
    bool start(const Options& options);
    bool start() { return start(Options{}); }
    void stop();

    QList<QJsonObject> messages() const;
    QByteArray raw(int index) const; // 0-based, in order of arrival
    // Waits until at least `count` messages arrived.
    bool waitForMessages(int count, int timeoutMs = 30000) const;

private:
    quint16 m_port;
    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace taviro::test
