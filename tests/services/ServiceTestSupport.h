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

// Certificates made with openssl for one test: authorities, and server
// certificates for 127.0.0.1 signed by one of them.
class TestCertificates
{
public:
    // Rows of a test of whom a mail service trusts: columns "signer" (of the
    // server's certificate), "caFileExists" and "trusted".
    static void addTrustRows();
    // Three authorities, "systeem" (stands for the system's list), "eigen"
    // (the site's own) and "vreemd", and "server" signed by `signer`.
    bool makeTrustScene(const QString& signer);
    // The service's environment: SSL_CERT_FILE names the system's list, as
    // OpenSSL reads it, TAVIRO_TLS_CA_FILE the site's authority (or a file
    // that is not there).
    QStringList trustEnvironment(bool caFileExists) const;
    QString missingFile() const { return m_dir.filePath(QStringLiteral("weg.pem")); }

    bool makeAuthority(const QString& name);
    bool makeServer(const QString& name, const QString& authority);
    QString certificateFile(const QString& name) const;
    QString keyFile(const QString& name) const;

private:
    QTemporaryDir m_dir;
};

// An SMTP server (aiosmtpd) on 127.0.0.1 that writes every accepted message
// as NNNN.eml plus NNNN.json, the latter decoded by Python's own MIME parser.
class SmtpTestServer
{
public:
    struct Options
    {
        QString user, password; // non-empty: login required
        QString refuse;         // recipients containing this are refused with 550
        bool startTls = false;  // offer and require STARTTLS with a certificate made for 127.0.0.1
        int drops = 0;          // connections broken off after the mail's data, before the reply
        bool denyStartTls = false; // with startTls: STARTTLS is offered, then answered with 454
    };
    explicit SmtpTestServer(quint16 port = 0);
    ~SmtpTestServer();

    quint16 port() const { return m_port; }
    bool start(const Options& options);
    bool start() { return start(Options{}); }
    void stop();
    // With startTls: this certificate and key instead of a self-made one.
    void useCertificate(const QString& certificate, const QString& key)
    {
        m_certificate = certificate;
        m_key = key;
    }

    // The authority a client must trust when startTls is on without useCertificate.
    QString certificateFile() const;
    QList<QJsonObject> messages() const;
    QByteArray raw(int index) const; // 0-based, in order of arrival
    // Waits until at least `count` messages arrived.
    bool waitForMessages(int count, int timeoutMs = 30000) const;

private:
    quint16 m_port;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_certificate, m_key;
    TestCertificates m_certs;
};

// A POP3 server: dovecot run as an ordinary process from its own small config
// in a temporary folder, on a loopback port, with one passwd-file user and a
// maildir the test fills. No system service is touched.
class Pop3TestServer
{
public:
    explicit Pop3TestServer(QString user = QStringLiteral("alarm"),
                            QString password = QStringLiteral("geheim"));
    ~Pop3TestServer();

    quint16 port() const { return m_port; }
    const QString& user() const { return m_user; }
    const QString& password() const { return m_password; }
    bool start();
    void stop();

    // Puts a mail into the mailbox (new/), as delivered by the mail system.
    bool addMail(const QByteArray& raw);
    // Mails still in the mailbox.
    int mailCount() const;

private:
    QString maildir() const;

    QString m_user, m_password;
    quint16 m_port;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_counter = 0;
};

// tests/services/pop3_server.py: a POP3 server over a folder of mails (one
// file per mail, its name the UIDL) that misbehaves as real servers do.
class ScriptedPop3Server
{
public:
    struct Options
    {
        QString drop;             // a mail's name: the connection breaks halfway through it once; "name+": every time
        bool uidlNumbers = false; // message numbers as UIDLs
        int sizeLie = 0;          // added to every size LIST gives
        QString greeting;         // instead of "+OK ready"
        bool noTop = false;
        QString certificate, key; // offer STLS with these
    };
    ScriptedPop3Server();
    ~ScriptedPop3Server();

    bool start(const Options& options);
    bool start() { return start(Options{}); }
    quint16 port() const { return m_port; }
    // Puts a mail into the mailbox; mails are handed out in order of name.
    bool addMail(const QString& name, const QByteArray& raw);
    QStringList mails() const;
    int retrievals(const QString& name) const;

private:
    quint16 m_port;
    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace taviro::test
