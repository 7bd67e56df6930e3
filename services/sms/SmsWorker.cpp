#include "SmsWorker.h"

#include "DatabaseConnector.h"
#include "ReplyAcknowledger.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

#include <cmath>

namespace taviro::sms {

using modem::ModemPort;

SmsWorker::SmsWorker(DatabaseSettings database, Timing timing, QObject* parent)
    : QThread(parent), m_database(std::move(database)), m_timing(timing)
{
}

SmsWorker::~SmsWorker()
{
    shutdown();
    wait();
}

bool SmsWorker::submit(const Transmission& t)
{
    QMutexLocker lock(&m_mutex);
    if (m_busy || m_pending)
        return false;
    // Every part of every piece may take the full submit time, plus setting up and reading replies.
    const qint64 parts = std::max<qint64>(1, splitPieces(t.text).size()) * (fitsTextMode(t.text) ? 1 : 3);
    const double budgetMs = 6.0 * m_timing.commandMs + double(parts) * (m_timing.commandMs + m_timing.submitMs);
    m_timeoutMinutes = std::max(2, int(std::ceil(budgetMs / 60000.0)) + 1);
    m_lastSucceeded = false;
    m_abort = false;
    m_pending = t;
    m_busy = true;
    m_wake.wakeAll();
    return true;
}

void SmsWorker::finish()
{
    if (m_busy)
        m_abort = true;
}

void SmsWorker::pollNow()
{
    QMutexLocker lock(&m_mutex);
    m_pollRequested = true;
    m_wake.wakeAll();
}

void SmsWorker::shutdown()
{
    m_stopping = true;
    m_abort = true;
    QMutexLocker lock(&m_mutex);
    m_wake.wakeAll();
}

void SmsWorker::run()
{
    ModemPort port;
    QDeadlineTimer nextPoll(m_timing.pollMs);
    while (!m_stopping) {
        std::optional<Transmission> job;
        bool poll = false;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_pending && !m_pollRequested)
                m_wake.wait(&m_mutex, nextPoll);
            job = std::exchange(m_pending, std::nullopt);
            poll = m_pollRequested || nextPoll.hasExpired();
            m_pollRequested = false;
            if (job && job->isGsm)
                m_lastLine = job;
        }
        if (m_stopping)
            break;
        if (job) {
            transmit(port, *job);
            port.close();
            m_busy = false;
            Q_EMIT transmissionOver();
        } else if (poll && m_lastLine) {
            QString problem;
            if (openAndInitialise(port, *m_lastLine, &problem)) {
                readReplies(port);
                m_lastPollProblem.clear();
            } else if (problem != m_lastPollProblem) {
                // The port may simply be in a receiver's hands: not for the operator.
                Q_EMIT logLine(QStringLiteral("antwoorden niet gelezen: %1").arg(problem));
                m_lastPollProblem = problem;
            }
            port.close();
        }
        if (poll || job)
            nextPoll = QDeadlineTimer(m_timing.pollMs);
    }
}

bool SmsWorker::openAndInitialise(ModemPort& port, const Transmission& t, QString* problem)
{
    if (!port.open(t.line, problem))
        return false;
    SmsDialogue dialogue(port, m_timing);
    if (dialogue.initialise(t.initString, problem) == SmsDialogue::Outcome::Ok)
        return true;
    port.close();
    return false;
}

void SmsWorker::recover(ModemPort& port, const Transmission& t, const QString& problem)
{
    ++m_recoveries;
    Q_EMIT meldingMessage(QStringLiteral("SMS-modem op COM %1 antwoordt niet (%2); de poort wordt opnieuw geopend")
                              .arg(t.line.comNumber)
                              .arg(problem),
                          0);
    port.close();
    QString again;
    if (openAndInitialise(port, t, &again))
        Q_EMIT meldingMessage(QStringLiteral("SMS-modem op COM %1 is weer bereikbaar").arg(t.line.comNumber), 1);
    else
        Q_EMIT meldingMessage(QStringLiteral("SMS-modem op COM %1 blijft onbereikbaar: %2").arg(t.line.comNumber).arg(again), 0);
}

void SmsWorker::transmit(ModemPort& port, const Transmission& t)
{
    const QString who = QStringLiteral("%1 (%2)").arg(t.recipientName, t.mobileNumber);
    auto failed = [&](const QString& why) {
        Q_EMIT meldingMessage(QStringLiteral("SMS aan %1 niet verzonden: %2").arg(who, why), 0);
    };
    if (!t.isGsm) {
        failed(QStringLiteral("COM %1 is ingesteld als PSTN-modem; SMS over de vaste lijn wordt niet ondersteund")
                   .arg(t.line.comNumber));
        return;
    }
    const auto number = parsePhoneNumber(t.mobileNumber);
    if (!number) {
        failed(QStringLiteral("ongeldig mobiel nummer"));
        return;
    }
    const QStringList pieces = splitPieces(t.text);
    QString problem;
    if (!port.open(t.line, &problem)) {
        failed(problem);
        return;
    }
    SmsDialogue dialogue(port, m_timing);
    SmsDialogue::Outcome o = dialogue.initialise(t.initString, &problem);
    for (qsizetype i = 0; o == SmsDialogue::Outcome::Ok && i < pieces.size(); ++i) {
        if (m_abort) {
            failed(QStringLiteral("afgebroken na %1 van %2 berichten").arg(i).arg(pieces.size()));
            return;
        }
        m_reference = (m_reference + 1) % 256;
        o = dialogue.submit(*number, t.smsCentre, pieces.at(i), m_reference, &problem);
        if (o == SmsDialogue::Outcome::Ok)
            ++m_sent;
    }
    if (o == SmsDialogue::Outcome::NoAnswer) {
        failed(problem);
        recover(port, t, problem);
        return;
    }
    if (o != SmsDialogue::Outcome::Ok) {
        failed(problem);
        return;
    }
    m_lastSucceeded = true;
    Q_EMIT meldingMessage(QStringLiteral("SMS aan %1 verzonden (%2 bericht%3)")
                              .arg(who)
                              .arg(pieces.size())
                              .arg(pieces.size() == 1 ? QString() : QStringLiteral("en")),
                          1);
    readReplies(port);
}

void SmsWorker::readReplies(ModemPort& port)
{
    SmsDialogue dialogue(port, m_timing);
    QList<StoredMessage> messages;
    QString problem;
    if (dialogue.listMessages(&messages, &problem) != SmsDialogue::Outcome::Ok) {
        Q_EMIT logLine(QStringLiteral("berichtenopslag niet gelezen: %1").arg(problem));
        return;
    }
    auto conn = DatabaseConnector::open(m_database);
    if (!conn) {
        Q_EMIT logLine(QStringLiteral("antwoorden blijven staan: %1").arg(conn.error()));
        return;
    }
    for (const StoredMessage& m : messages) {
        if (!isReceived(m))
            continue;
        const auto reply = parseReply(m.text);
        if (!reply) {
            Q_EMIT meldingMessage(QStringLiteral("SMS van %1 genegeerd: \"%2\"").arg(m.sender, m.text.simplified()), 1);
        } else {
            const AckOutcome ack = acknowledgeReply(**conn, m.sender, *reply, QDateTime::currentDateTime());
            if (ack.databaseFailed) {
                Q_EMIT logLine(QStringLiteral("antwoord van %1 blijft staan: %2").arg(m.sender, ack.why));
                continue; // kept in the modem: the next reading tries again
            }
            if (ack.acknowledged) {
                ++m_acknowledged;
                Q_EMIT meldingMessage(QStringLiteral("Uitmelding %1 bevestigd door %2 per SMS")
                                          .arg(ack.dispatchId)
                                          .arg(ack.recipientName),
                                      0);
            } else {
                Q_EMIT meldingMessage(QStringLiteral("SMS-antwoord \"%1\" van %2 bevestigt niets: %3")
                                          .arg(m.text.simplified(), m.sender, ack.why),
                                      1);
            }
        }
        dialogue.deleteMessage(m.index);
    }
}

} // namespace taviro::sms
