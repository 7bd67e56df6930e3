#include "MailTestSend.h"

#include "MailDelivery.h"
#include "SmtpSender.h"

#include <QMutexLocker>

namespace taviro::mail {

MailTestSend::MailTestSend(DatabaseSettings database, QObject* parent)
    : QThread(parent), m_database(std::move(database))
{
}

MailTestSend::~MailTestSend()
{
    stop();
    wait();
}

bool MailTestSend::begin(const QStringList& addresses, const QString& recipientName, const QString& subject,
                         const QString& body, int secondsPerAddress)
{
    if (m_busy.exchange(true))
        return false;
    wait(); // the last run has emitted its outcome and is ending
    {
        QMutexLocker lock(&m_mutex);
        m_addresses = addresses;
        m_name = recipientName;
        m_subject = subject;
        m_body = body;
        m_seconds = secondsPerAddress;
    }
    start();
    return true;
}

void MailTestSend::stop()
{
    m_stopping = true;
}

void MailTestSend::run()
{
    QStringList addresses;
    Envelope envelope;
    int seconds = 0;
    {
        QMutexLocker lock(&m_mutex);
        addresses = m_addresses;
        envelope.recipientName = m_name;
        envelope.subject = m_subject;
        envelope.body = m_body;
        seconds = m_seconds;
    }
    auto settings = readSmtpSettings(m_database);
    if (!settings) {
        m_busy = false;
        Q_EMIT finished(false, QStringLiteral("mailinstellingen niet leesbaar: ") + settings.error());
        return;
    }
    SmtpSender sender(m_stopping);
    sender.setTimeLimit(seconds);
    QStringList refused;
    for (const QString& address : addresses) {
        envelope.address = address;
        const SendOutcome outcome = sender.send(*settings, envelope);
        if (outcome.kind != SendOutcome::Sent)
            refused << (addresses.size() > 1 ? QStringLiteral("%1: %2").arg(address, outcome.reason) : outcome.reason);
        // The server itself is away or refuses the login: every other address
        // would only repeat that after the same wait.
        if (outcome.kind != SendOutcome::Sent && outcome.serverWide)
            break;
    }
    m_busy = false;
    Q_EMIT finished(refused.isEmpty(), refused.join(QLatin1Char('\n')));
}

} // namespace taviro::mail
