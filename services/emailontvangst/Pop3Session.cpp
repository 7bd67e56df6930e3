#include "Pop3Session.h"

#include "MailTransport.h"

#include <QHash>

#include <algorithm>

#include <curl/curl.h>

namespace taviro::alarmemail {

namespace {

size_t collect(char* data, size_t size, size_t count, void* target)
{
    auto* buffer = static_cast<QByteArray*>(target);
    if (buffer->size() + qsizetype(size * count) > MaxMailBytes)
        return 0; // ends the transfer with a write error
    buffer->append(data, qsizetype(size * count));
    return size * count;
}

int progress(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic_bool*>(stopping)->load() ? 1 : 0;
}

} // namespace

Pop3Session::Pop3Session(const MailboxAccount& account, const std::atomic_bool& stopping)
    : m_account(account), m_stopping(stopping), m_curl(curl_easy_init()),
      m_user(account.userName.toUtf8()), m_password(account.password.toUtf8()),
      m_trust(service::MailTrust::fromEnvironment())
{
}

int Pop3Session::checkConnection(void* session, char*, char*, int, int localPort)
{
    auto* self = static_cast<Pop3Session*>(session);
    if (self->m_localPort == 0)
        self->m_localPort = localPort;
    else if (localPort != self->m_localPort)
        self->m_connectionLost = true;
    return self->m_connectionLost ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

Pop3Session::~Pop3Session()
{
    if (m_curl)
        curl_easy_cleanup(m_curl); // sends QUIT, which commits the deletions
}

int Pop3Session::watchServer(CURL*, curl_infotype type, char* data, size_t size, void* session)
{
    auto* self = static_cast<Pop3Session*>(session);
    // The greeting and the answer to CAPA come first; a few hundred lines
    // are far more than any server's list of capabilities.
    if (type == CURLINFO_HEADER_IN && self->m_serverLines < 200) {
        ++self->m_serverLines;
        if (QByteArray(data, qsizetype(size)).trimmed().toUpper() == "TOP")
            self->m_topOffered = true;
    }
    return 0;
}

Result<QByteArray> Pop3Session::perform(const QString& path, const char* command, bool noBody,
                                        long totalSeconds)
{
    using R = Result<QByteArray>;
    if (!m_curl)
        return R::failure(QStringLiteral("libcurl kan niet worden gestart"));
    if (!m_trust.problem().isEmpty())
        return R::failure(m_trust.problem());
    if (m_connectionLost)
        return R::failure(QStringLiteral("verbinding met de mailbox verbroken"));
    // POP3 always logs in, so TLS is always insisted on (unless allowed otherwise).
    const service::MailTransport transport = service::MailTransport::choose(QStringLiteral("pop3"), m_account.port, true);
    const QByteArray url = QStringLiteral("%1://%2:%3/%4")
                               .arg(transport.scheme, m_account.server.trimmed())
                               .arg(m_account.port)
                               .arg(path)
                               .toUtf8();
    QByteArray body;
    char error[CURL_ERROR_SIZE] = {};
    const long timeout = m_account.timeoutSeconds > 0 ? m_account.timeoutSeconds : 60;
    curl_easy_setopt(m_curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, m_user.constData());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, m_password.constData());
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL, long(transport.tlsRequired ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, command);
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, noBody ? 1L : 0L);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, timeout);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, totalSeconds);
    curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool*>(&m_stopping));
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, watchServer);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_PREREQFUNCTION, checkConnection);
    curl_easy_setopt(m_curl, CURLOPT_PREREQDATA, this);
    m_trust.apply(m_curl);
    const CURLcode rc = curl_easy_perform(m_curl);
    if (m_connectionLost)
        return R::failure(QStringLiteral("verbinding met de mailbox verbroken"));
    if (rc == CURLE_USE_SSL_FAILED)
        return R::failure(service::tlsRefusedReason());
    if (rc != CURLE_OK)
        return R::failure(QString::fromUtf8(error[0] ? error : curl_easy_strerror(rc)));
    return body;
}

Result<QList<MailboxEntry>> Pop3Session::list()
{
    using R = Result<QList<MailboxEntry>>;
    auto sizes = perform(QString(), "LIST", false);
    if (!sizes)
        return R::failure(sizes.error());
    auto uids = perform(QString(), "UIDL", false);
    if (!uids)
        return R::failure(uids.error());
    QHash<int, qint64> sizeOf;
    for (const QByteArray& line : sizes->split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() >= 2)
            sizeOf.insert(f.at(0).toInt(), f.at(1).toLongLong());
    }
    QList<MailboxEntry> entries;
    for (const QByteArray& line : uids->split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        bool ok = false;
        const int number = f.value(0).toInt(&ok);
        if (f.size() >= 2 && ok && number > 0)
            entries << MailboxEntry{number, QString::fromLatin1(f.at(1)), sizeOf.value(number)};
    }
    return entries;
}

Result<QByteArray> Pop3Session::retrieve(int number, qint64 size)
{
    // A server that hands out a mail a byte at a time passes the low-speed
    // check and would hold the poll for hours; 16 KB/s is far below any
    // line that carries alarm mail.
    constexpr qint64 SlowestBytesPerSecond = 16 * 1024;
    const long timeout = m_account.timeoutSeconds > 0 ? m_account.timeoutSeconds : 60;
    return perform(QString::number(number), nullptr, false,
                   timeout + long(std::max<qint64>(0, size) / SlowestBytesPerSecond));
}

Result<QByteArray> Pop3Session::headers(int number)
{
    if (!m_topOffered)
        return Result<QByteArray>::failure(QStringLiteral("de server biedt geen TOP"));
    return perform(QString(), QStringLiteral("TOP %1 0").arg(number).toLatin1().constData(), false);
}

bool Pop3Session::stillConnected()
{
    return bool(perform(QString(), "NOOP", true));
}

Status Pop3Session::remove(int number)
{
    return Status::from(perform(QString::number(number), "DELE", true));
}

} // namespace taviro::alarmemail
