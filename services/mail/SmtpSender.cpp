#include "SmtpSender.h"

#include "MailTransport.h"
#include "MailTrust.h"

#include <QDateTime>
#include <QList>
#include <QUuid>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace taviro::mail {

namespace {

bool isPlainAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

QByteArray mailbox(const QString& name, const QString& address)
{
    const QByteArray angle = '<' + address.toUtf8() + '>';
    if (name.trimmed().isEmpty())
        return angle;
    if (isPlainAscii(name) && !name.contains(QLatin1Char('"')))
        return '"' + name.toUtf8() + "\" " + angle;
    return encodeHeaderWord(name) + ' ' + angle;
}

int progressCallback(void* stopping, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic_bool*>(stopping)->load() ? 1 : 0;
}

// Collects what the server says, one reply line at a time.
int keepServerReplies(CURL*, curl_infotype type, char* data, size_t size, void* replies)
{
    if (type == CURLINFO_HEADER_IN) {
        auto* lines = static_cast<QList<QByteArray>*>(replies);
        if (lines->size() > 200)
            lines->removeFirst(); // a chatty server must not grow us without end
        lines->append(QByteArray(data, qsizetype(size)).trimmed());
    }
    return 0;
}

struct CurlDeleter
{
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};

} // namespace

QByteArray encodeHeaderWord(const QString& text)
{
    if (isPlainAscii(text))
        return text.toUtf8();
    // Encoded words may be at most 75 characters; split on whole characters so
    // no UTF-8 sequence is cut between two words.
    QByteArray out;
    QByteArray chunk;
    auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray piece = text.mid(i, len).toUtf8();
        if (chunk.size() + piece.size() > 45)
            flush();
        chunk += piece;
        i += len - 1;
    }
    flush();
    return out;
}

QString lastRefusal(const QList<QByteArray>& replyLines)
{
    for (qsizetype i = replyLines.size() - 1; i >= 0; --i) {
        const QByteArray& line = replyLines.at(i);
        if (line.size() >= 3 && (line.at(0) == '4' || line.at(0) == '5') && std::isdigit(uchar(line.at(1))) &&
            std::isdigit(uchar(line.at(2))))
            return QString::fromUtf8(line);
    }
    return {};
}

QList<QByteArray> composeHeaders(const SmtpSettings& settings, const Envelope& mail)
{
    const QByteArray date = QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1();
    QString domain = settings.fromMail.section(QLatin1Char('@'), 1);
    if (domain.isEmpty())
        domain = QStringLiteral("taviro.invalid");
    QList<QByteArray> headers;
    headers << "Date: " + date;
    headers << "From: " + mailbox(settings.fromName, settings.fromMail);
    headers << "To: " + mailbox(mail.recipientName, mail.address);
    headers << "Subject: " + encodeHeaderWord(mail.subject);
    headers << "Message-ID: <" + QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() +
                   '@' + domain.toUtf8() + '>';
    headers << "X-Mailer: Taviro";
    return headers;
}

SendOutcome SmtpSender::send(const SmtpSettings& settings, const Envelope& mail) const
{
    if (settings.server.trimmed().isEmpty())
        return {SendOutcome::Retry, QStringLiteral("geen mailserver ingesteld"), true};

    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return {SendOutcome::Retry, QStringLiteral("libcurl kan niet worden gestart"), true};
    CURL* c = curl.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};

    const service::MailTransport transport =
        service::MailTransport::choose(QStringLiteral("smtp"), settings.port, settings.login);
    const QByteArray url =
        QStringLiteral("%1://%2:%3").arg(transport.scheme, settings.server.trimmed()).arg(settings.port).toUtf8();
    const QByteArray from = '<' + settings.fromMail.trimmed().toUtf8() + '>';
    const QByteArray to = '<' + mail.address.toUtf8() + '>';
    std::unique_ptr<curl_slist, CurlDeleter> rcpt(curl_slist_append(nullptr, to.constData()));

    std::unique_ptr<curl_slist, CurlDeleter> headers;
    for (const QByteArray& h : composeHeaders(settings, mail))
        headers.reset(curl_slist_append(headers.release(), h.constData()));

    std::unique_ptr<curl_mime, CurlDeleter> mime(curl_mime_init(c));
    const QByteArray body = mail.body.toUtf8();
    curl_mimepart* text = curl_mime_addpart(mime.get());
    curl_mime_data(text, body.constData(), size_t(body.size()));
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "base64"); // keeps the body's CR LF and every byte exactly as composed
    const QByteArray attachmentPath = mail.attachmentFile.toLocal8Bit();
    const QByteArray attachmentName = mail.attachmentName.toUtf8();
    if (!mail.attachmentFile.isEmpty()) {
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_filedata(part, attachmentPath.constData());
        curl_mime_filename(part, attachmentName.constData());
        curl_mime_type(part, "application/octet-stream");
        curl_mime_encoder(part, "base64");
    }

    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_USE_SSL, long(transport.tlsRequired ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.get());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, 60L);
    // A large attachment may take long; only a stalled transfer is given up.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progressCallback);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic_bool*>(&m_stopping));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    QList<QByteArray> replies;
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, keepServerReplies);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &replies);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    if (m_timeLimitSeconds > 0) {
        curl_easy_setopt(c, CURLOPT_TIMEOUT, long(m_timeLimitSeconds));
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, long(std::min(m_timeLimitSeconds, 30)));
    }
    const service::MailTrust trust = service::MailTrust::fromEnvironment();
    if (!trust.problem().isEmpty())
        return {SendOutcome::Retry, trust.problem(), true};
    trust.apply(c);
    const QByteArray user = settings.userName.toUtf8();
    const QByteArray password = settings.password.toUtf8();
    if (settings.login) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }

    const CURLcode rc = curl_easy_perform(c);
    if (rc == CURLE_OK)
        return {SendOutcome::Sent, {}, false};

    long smtpCode = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &smtpCode);
    const QString refusal = lastRefusal(replies);
    const QString reason =
        refusal.isEmpty() ? QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc)) : refusal;
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        return {SendOutcome::Retry, reason, true};
    case CURLE_USE_SSL_FAILED:
        return {SendOutcome::Retry, service::tlsRefusedReason(), true};
    case CURLE_LOGIN_DENIED:
        return {SendOutcome::Retry, QStringLiteral("aanmelding geweigerd: ") + reason, true};
    case CURLE_READ_ERROR:
        return {SendOutcome::Refused, QStringLiteral("bijlage onleesbaar: ") + reason, false};
    default:
        break;
    }
    // A refused login holds for every mail and is usually put right in the
    // settings, which are read again before the next attempt.
    if (smtpCode == 530 || smtpCode == 534 || smtpCode == 535 || smtpCode == 538)
        return {SendOutcome::Retry, QStringLiteral("aanmelding geweigerd: ") + reason, true};
    if (smtpCode >= 500 && smtpCode < 600)
        return {SendOutcome::Refused, reason, false};
    return {SendOutcome::Retry, reason, false};
}

} // namespace taviro::mail
