#pragma once

#include "MailTrust.h"
#include "Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>

typedef void CURL;

namespace taviro::alarmemail {

// The mailbox as the settings row describes it.
struct MailboxAccount
{
    QString server;
    int port = 110;
    QString userName;
    QString password;
    int timeoutSeconds = 60;
};

// A mail bigger than this is no alarm; leaving it unfetched keeps memory bounded.
constexpr qsizetype MaxMailBytes = 64 * 1024 * 1024;

struct MailboxEntry
{
    int number = 0; // message number, valid for this session only
    QString uid;    // UIDL: stable across sessions
    qint64 size = 0;
};

// One POP3 session through libcurl. All commands share one connection, and
// deletions take effect only when the session ends with QUIT (the destructor):
// a connection that breaks off keeps every mail in the mailbox.
class Pop3Session
{
public:
    Pop3Session(const MailboxAccount& account, const std::atomic_bool& stopping);
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    Result<QList<MailboxEntry>> list();
    // `size` as listed: a transfer far slower than any real line is ended.
    Result<QByteArray> retrieve(int number, qint64 size);
    // The header section alone (TOP n 0); fails on a server without TOP.
    Result<QByteArray> headers(int number);
    // True while the session's own connection still answers: a mail that came
    // shorter than listed was then really all of it (the server's size was
    // wrong), not a transfer cut off.
    bool stillConnected();
    Status remove(int number);

private:
    static int checkConnection(void* session, char*, char*, int, int localPort);
    // Reads the capabilities the server names when the session starts.
    static int watchServer(CURL*, curl_infotype type, char* data, size_t size, void* session);

    // `totalSeconds` > 0 bounds the whole transfer.
    Result<QByteArray> perform(const QString& path, const char* command, bool noBody,
                               long totalSeconds = 0);

    MailboxAccount m_account;
    const std::atomic_bool& m_stopping;
    CURL* m_curl = nullptr;
    QByteArray m_user, m_password;
    service::MailTrust m_trust;
    // Message numbers and deletions belong to one connection. libcurl opens a
    // new one when the old is lost; a command there could delete another mail
    // under the same number, so the session ends instead.
    int m_localPort = 0;
    bool m_connectionLost = false;
    // TOP is optional, and a command the server refuses ends libcurl's
    // connection, so it is only sent to a server that offers it.
    bool m_topOffered = false;
    int m_serverLines = 0;
};

} // namespace taviro::alarmemail
