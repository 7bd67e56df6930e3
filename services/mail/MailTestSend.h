#pragma once

#include "DatabaseSettings.h"

#include <QMutex>
#include <QStringList>
#include <QThread>

#include <atomic>

namespace taviro::mail {

// A test mail sent at once, beside the queue and never into it, so the
// installer hears the mail server's own answer while he waits: either it
// took the mail, or its reply line ("550 5.1.1 ..."), or why it could not be
// reached. Each address is tried on its own within a bounded time.
class MailTestSend : public QThread
{
    Q_OBJECT
public:
    explicit MailTestSend(DatabaseSettings database, QObject* parent = nullptr);
    ~MailTestSend() override;

    // False while an earlier test still runs.
    bool begin(const QStringList& addresses, const QString& recipientName, const QString& subject,
               const QString& body, int secondsPerAddress);
    void stop();

Q_SIGNALS:
    // `reason` has one line per address the server did not take.
    void finished(bool sent, const QString& reason);

protected:
    void run() override;

private:
    DatabaseSettings m_database;
    std::atomic_bool m_stopping = false;
    std::atomic_bool m_busy = false;
    QMutex m_mutex;
    QStringList m_addresses;
    QString m_name, m_subject, m_body;
    int m_seconds = 20;
};

} // namespace taviro::mail
