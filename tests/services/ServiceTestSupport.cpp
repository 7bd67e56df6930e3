#include "ServiceTestSupport.h"

#include "ChildProcess.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taviro::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString scriptDir()
{
    return QStringLiteral(TAVIRO_SERVICE_TEST_SCRIPTS);
}

SmtpTestServer::SmtpTestServer(quint16 port) : m_port(port ? port : freeLoopbackPort())
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

bool SmtpTestServer::start(const Options& options)
{
    QStringList args{QStringLiteral("-W"),
                     QStringLiteral("ignore"),
                     scriptDir() + QStringLiteral("/smtp_server.py"),
                     QStringLiteral("--port"),
                     QString::number(m_port),
                     QStringLiteral("--out"),
                     m_dir.path()};
    if (!options.user.isEmpty())
        args << QStringLiteral("--user") << options.user << QStringLiteral("--password")
             << options.password;
    if (!options.refuse.isEmpty())
        args << QStringLiteral("--refuse") << options.refuse;
    if (options.drops > 0)
        args << QStringLiteral("--drop") << QString::number(options.drops);
    if (options.startTls && !m_certificate.isEmpty()) {
        args << QStringLiteral("--tls-cert") << m_certificate << QStringLiteral("--tls-key") << m_key;
    } else if (options.startTls) {
        if (!m_certs.makeAuthority(QStringLiteral("ca")) || !m_certs.makeServer(QStringLiteral("server"), QStringLiteral("ca")))
            return false;
        args << QStringLiteral("--tls-cert") << m_certs.certificateFile(QStringLiteral("server"))
             << QStringLiteral("--tls-key") << m_certs.keyFile(QStringLiteral("server"));
    }
    if (options.startTls && options.denyStartTls)
        args << QStringLiteral("--deny-starttls");
    // Debian's interpreter, which has aiosmtpd, whatever python3 comes first on PATH.
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    QDeadlineTimer deadline(20000);
    QByteArray out;
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
        if (out.contains("READY"))
            return true;
    }
    return false;
}

void SmtpTestServer::stop()
{
    stopProgram(m_process, 5000);
}

QString SmtpTestServer::certificateFile() const
{
    return m_certs.certificateFile(QStringLiteral("ca"));
}

QList<QJsonObject> SmtpTestServer::messages() const
{
    QList<QJsonObject> out;
    const QDir dir(m_dir.path());
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            out << QJsonDocument::fromJson(f.readAll()).object();
    }
    return out;
}

QByteArray SmtpTestServer::raw(int index) const
{
    QFile f(QDir(m_dir.path())
                .filePath(QStringLiteral("%1.eml").arg(index + 1, 4, 10, QLatin1Char('0'))));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool SmtpTestServer::waitForMessages(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (messages().size() >= count)
            return true;
        QTest::qWait(100);
    }
    return messages().size() >= count;
}

} // namespace taviro::test

namespace taviro::test {

namespace {

// Dovecot will not serve mail as root; as root the mailbox belongs to nobody.
bool asRoot()
{
    return ::geteuid() == 0;
}

void giveToMailUser(const QString& path)
{
    if (asRoot()) {
        [[maybe_unused]] const int rc = ::chown(QFile::encodeName(path).constData(), 65534, 65534);
    }
}

} // namespace

Pop3TestServer::Pop3TestServer(QString user, QString password)
    : m_user(std::move(user)), m_password(std::move(password)), m_port(freeLoopbackPort())
{
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    // The mail processes run as another user and must reach the maildir.
    ::chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
    for (const char* sub : {"cur", "new", "tmp"}) {
        QDir().mkpath(maildir() + QLatin1Char('/') + QLatin1String(sub));
    }
    for (const QString& p :
         {m_dir.filePath(QStringLiteral("mail")), m_dir.filePath(QStringLiteral("mail/") + m_user),
          maildir(), maildir() + QStringLiteral("/cur"), maildir() + QStringLiteral("/new"),
          maildir() + QStringLiteral("/tmp")})
        giveToMailUser(p);
}

Pop3TestServer::~Pop3TestServer()
{
    stop();
}

QString Pop3TestServer::maildir() const
{
    return m_dir.filePath(QStringLiteral("mail/%1/Maildir").arg(m_user));
}

bool Pop3TestServer::start()
{
    const QString d = m_dir.path();
    QDir().mkpath(d + QStringLiteral("/run"));
    QDir().mkpath(d + QStringLiteral("/state"));
    QFile users(d + QStringLiteral("/users"));
    if (!users.open(QIODevice::WriteOnly))
        return false;
    users.write(QStringLiteral("%1:{PLAIN}%2\n").arg(m_user, m_password).toUtf8());
    users.close();

    QString mailUser = QStringLiteral("uid=nobody gid=nogroup");
    QString internal;
    if (!asRoot()) {
        const passwd* pw = ::getpwuid(::geteuid());
        const group* gr = ::getgrgid(::getegid());
        const QString name = QString::fromLocal8Bit(pw ? pw->pw_name : "");
        mailUser = QStringLiteral("uid=%1 gid=%2").arg(::geteuid()).arg(::getegid());
        internal = QStringLiteral("default_login_user = %1\ndefault_internal_user = "
                                  "%1\ndefault_internal_group = %2\n")
                       .arg(name, QString::fromLocal8Bit(gr ? gr->gr_name : ""));
    }
    const QString conf =
        QStringLiteral(
            "base_dir = %1/run\nstate_dir = %1/state\nlog_path = %1/dovecot.log\n"
            "protocols = pop3\nlisten = 127.0.0.1\nssl = no\ndisable_plaintext_auth = no\n"
            "auth_mechanisms = plain login\nmail_location = maildir:%1/mail/%u/Maildir\n"
            "first_valid_uid = 1\n%4"
            "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u "
            "%1/users\n}\n"
            "userdb {\n  driver = static\n  args = %3 home=%1/mail/%u\n}\n"
            "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    address = 127.0.0.1\n   "
            " port = %2\n  }\n}\n"
            "service imap-login {\n  chroot =\n}\nservice anvil {\n  chroot =\n}\n")
            .arg(d)
            .arg(m_port)
            .arg(mailUser, internal) +
        QStringLiteral("pop3_uidl_format = %08Xu%08Xv\n");
    QFile f(d + QStringLiteral("/dovecot.conf"));
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(conf.toUtf8());
    f.close();
    m_process.start(QStringLiteral("/usr/sbin/dovecot"),
                    {QStringLiteral("-F"), QStringLiteral("-c"), f.fileName()});
    if (!m_process.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) &&
            probe.readAll().startsWith("+OK"))
            return true;
        QTest::qWait(100);
    }
    QFile log(d + QStringLiteral("/dovecot.log"));
    if (log.open(QIODevice::ReadOnly))
        qWarning("dovecot: %s", log.readAll().constData());
    return false;
}

void Pop3TestServer::stop()
{
    stopProgram(m_process, 10000);
}

bool Pop3TestServer::addMail(const QByteArray& raw)
{
    const QString name = QStringLiteral("%1.%2.taviro-test")
                             .arg(QDateTime::currentSecsSinceEpoch())
                             .arg(++m_counter);
    const QString tmp = maildir() + QStringLiteral("/tmp/") + name;
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly) || f.write(raw) != raw.size())
        return false;
    f.close();
    giveToMailUser(tmp);
    return QFile::rename(tmp, maildir() + QStringLiteral("/new/") + name);
}

int Pop3TestServer::mailCount() const
{
    int n = 0;
    for (const char* sub : {"cur", "new"})
        n += int(
            QDir(maildir() + QLatin1Char('/') + QLatin1String(sub)).entryList(QDir::Files).size());
    return n;
}

namespace {

bool openssl(const QStringList& arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), arguments);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("openssl %s: %s", qPrintable(arguments.join(QLatin1Char(' '))), p.readAll().constData());
        return false;
    }
    return true;
}

const QStringList EcKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

void TestCertificates::addTrustRows()
{
    QTest::addColumn<QString>("signer");
    QTest::addColumn<bool>("caFileExists");
    QTest::addColumn<bool>("trusted");
    QTest::newRow("the site's authority") << QStringLiteral("eigen") << true << true;
    QTest::newRow("an authority of the system's list") << QStringLiteral("systeem") << true << true;
    QTest::newRow("an authority nobody trusts") << QStringLiteral("vreemd") << true << false;
    QTest::newRow("the site's CA file is missing") << QStringLiteral("eigen") << false << false;
}

bool TestCertificates::makeTrustScene(const QString& signer)
{
    for (const char* ca : {"systeem", "eigen", "vreemd"})
        if (!makeAuthority(QLatin1String(ca)))
            return false;
    return makeServer(QStringLiteral("server"), signer);
}

QStringList TestCertificates::trustEnvironment(bool caFileExists) const
{
    return {QStringLiteral("SSL_CERT_FILE=") + certificateFile(QStringLiteral("systeem")),
            QStringLiteral("TAVIRO_TLS_CA_FILE=") + (caFileExists ? certificateFile(QStringLiteral("eigen")) : missingFile())};
}

QString TestCertificates::certificateFile(const QString& name) const
{
    return m_dir.filePath(name + QStringLiteral(".pem"));
}

QString TestCertificates::keyFile(const QString& name) const
{
    return m_dir.filePath(name + QStringLiteral(".key"));
}

bool TestCertificates::makeAuthority(const QString& name)
{
    return openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + EcKey +
                   QStringList{QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                               QStringLiteral("/CN=") + name, QStringLiteral("-addext"),
                               QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                               QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"), QStringLiteral("-keyout"),
                               keyFile(name), QStringLiteral("-out"), certificateFile(name)});
}

bool TestCertificates::makeServer(const QString& name, const QString& authority)
{
    const QString request = m_dir.filePath(name + QStringLiteral(".csr"));
    const QString extensions = m_dir.filePath(name + QStringLiteral(".ext"));
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    ext.close();
    return openssl(QStringList{QStringLiteral("req")} + EcKey +
                   QStringList{QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"),
                               keyFile(name), QStringLiteral("-out"), request}) &&
           openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                    QStringLiteral("-CA"), certificateFile(authority), QStringLiteral("-CAkey"), keyFile(authority),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-extfile"), extensions, QStringLiteral("-out"), certificateFile(name)});
}

ScriptedPop3Server::ScriptedPop3Server() : m_port(freeLoopbackPort())
{
    QDir().mkpath(m_dir.filePath(QStringLiteral("spool")));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool ScriptedPop3Server::start(const Options& options)
{
    QStringList args{scriptDir() + QStringLiteral("/pop3_server.py"),
                     QStringLiteral("--port"),
                     QString::number(m_port),
                     QStringLiteral("--spool"),
                     m_dir.filePath(QStringLiteral("spool")),
                     QStringLiteral("--counter"),
                     m_dir.filePath(QStringLiteral("retrievals.json"))};
    if (!options.drop.isEmpty())
        args << QStringLiteral("--drop") << options.drop;
    if (options.uidlNumbers)
        args << QStringLiteral("--uidl-numbers");
    if (options.sizeLie != 0)
        args << QStringLiteral("--size-lie") << QString::number(options.sizeLie);
    if (!options.greeting.isEmpty())
        args << QStringLiteral("--greeting") << options.greeting;
    if (options.noTop)
        args << QStringLiteral("--no-top");
    if (!options.certificate.isEmpty())
        args << QStringLiteral("--tls-cert") << options.certificate << QStringLiteral("--tls-key") << options.key;
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    return m_process.waitForReadyRead(10000) && m_process.readAllStandardOutput().contains("READY");
}

bool ScriptedPop3Server::addMail(const QString& name, const QByteArray& raw)
{
    // Written aside and renamed, so a session never lists half a mail.
    const QString tmp = m_dir.filePath(QStringLiteral(".") + name);
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly) || f.write(raw) != raw.size())
        return false;
    f.close();
    return QFile::rename(tmp, m_dir.filePath(QStringLiteral("spool/") + name));
}

QStringList ScriptedPop3Server::mails() const
{
    return QDir(m_dir.filePath(QStringLiteral("spool"))).entryList(QDir::Files, QDir::Name);
}

int ScriptedPop3Server::retrievals(const QString& name) const
{
    QFile f(m_dir.filePath(QStringLiteral("retrievals.json")));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    return QJsonDocument::fromJson(f.readAll()).object().value(name).toInt();
}

} // namespace taviro::test
