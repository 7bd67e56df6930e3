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
    {
        QMutexLocker failureLock(&m_failureMutex);
        m_lastFailure.clear();
    }
    m_abort = false;
    m_pending = t;
    m_busy = true;
    m_wake.wakeAll();
    return true;
}

QString SmsWorker::lastFailure() const
{
    QMutexLocker lock(&m_failureMutex);
    return m_lastFailure;
}

void SmsWorker::finish()
{
    if (m_busy)
        m_abort = true;
}

void SmsWorker::watch(std::optional<Transmission> line, bool sharedWithReceiver)
{
    QMutexLocker lock(&m_mutex);
    if (line)
        m_watched = Watched{*line, sharedWithReceiver};
    else
        m_watched.reset();
    m_watchChanged = true;
    m_wake.wakeAll();
}

void SmsWorker::pollNow(bool report)
{
    QMutexLocker lock(&m_mutex);
    m_pollRequested = true;
    m_pollReport = m_pollReport || report;
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
    QDeadlineTimer nextCheck(0);
    std::optional<Transmission> lastLine; // replies are read on request here while nothing is watched
    while (!m_stopping) {
        std::optional<Transmission> job;
        std::optional<Watched> watched;
        bool requested = false;
        bool report = false;
        {
            QMutexLocker lock(&m_mutex);
            if (m_watchChanged) {
                m_watchChanged = false;
                nextCheck = QDeadlineTimer(0);
                nextPoll = QDeadlineTimer(0);
            }
            const bool onItsOwn = m_watched && !m_watched->shared;
            const bool due = onItsOwn && (nextPoll.hasExpired() || nextCheck.hasExpired());
            if (!m_pending && !m_pollRequested && !due)
                m_wake.wait(&m_mutex, onItsOwn ? std::min(nextPoll, nextCheck) : QDeadlineTimer(QDeadlineTimer::Forever));
            job = std::exchange(m_pending, std::nullopt);
            requested = std::exchange(m_pollRequested, false);
            report = std::exchange(m_pollReport, false);
            watched = m_watched;
        }
        if (m_stopping)
            break;
        if (job) {
            if (job->isGsm)
                lastLine = job;
            transmit(port, *job);
            port.close();
            m_busy = false;
            Q_EMIT transmissionOver();
            nextPoll = QDeadlineTimer(m_timing.pollMs); // the send read the replies
        } else {
            const bool onItsOwn = watched && !watched->shared;
            const bool poll = requested || (onItsOwn && nextPoll.hasExpired());
            // A shared port is ours only while the console lends it: check then, when due.
            const bool check = watched && (onItsOwn || requested) && nextCheck.hasExpired();
            if (watched && (poll || check)) {
                attend(port, watched->line, check, poll);
                if (check)
                    nextCheck = QDeadlineTimer(m_timing.checkMs);
            } else if (poll && lastLine) {
                QString problem;
                if (openAndInitialise(port, *lastLine, &problem)) {
                    readReplies(port);
                    m_lastPollProblem.clear();
                } else if (problem != m_lastPollProblem) {
                    Q_EMIT logLine(QStringLiteral("antwoorden niet gelezen: %1").arg(problem));
                    m_lastPollProblem = problem;
                }
            }
            port.close();
            if (poll)
                nextPoll = QDeadlineTimer(m_timing.pollMs);
        }
        if (report)
            Q_EMIT repliesRead();
    }
}

void SmsWorker::attend(ModemPort& port, const Transmission& line, bool check, bool poll)
{
    const int com = line.line.comNumber;
    QString problem;
    if (!port.open(line.line, &problem)) {
        noteHealth(com, {ModemCondition::PortUnavailable, -1, problem});
        return;
    }
    SmsDialogue dialogue(port, m_timing);
    SmsDialogue::Outcome o = dialogue.initialise(line.initString, &problem);
    if (o == SmsDialogue::Outcome::NoAnswer) {
        noteHealth(com, {ModemCondition::NoAnswer, -1, {}});
        // Reset it as after a failed send: a fresh port and the set-up again.
        ++m_recoveries;
        port.close();
        if (!port.open(line.line, &problem))
            return;
        o = dialogue.initialise(line.initString, &problem);
        if (o == SmsDialogue::Outcome::NoAnswer) {
            Q_EMIT logLine(QStringLiteral("GSM-modem op COM %1 antwoordt ook na het opnieuw openen niet: %2").arg(com).arg(problem));
            return;
        }
        check = true;
    }
    if (o == SmsDialogue::Outcome::Refused) {
        noteHealth(com, {ModemCondition::Refused, -1, problem});
        return;
    }
    // Until it is ready, every visit looks again, so a recovery shows at once.
    if (check || !m_health.ready())
        noteHealth(com, judgeModem(dialogue.askHealth()));
    if (poll)
        readReplies(port);
}

void SmsWorker::noteHealth(int comNumber, const ModemHealth& health)
{
    const QString text = describeHealth(health, comNumber);
    if (health.differsFrom(m_health) || comNumber != m_healthCom)
        Q_EMIT meldingMessage(text, 0);
    m_health = health;
    m_healthCom = comNumber;
    if (text != m_shownState) {
        m_shownState = text;
        Q_EMIT modemState(comNumber, text, health.ready());
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
        // The console counts failed sends against the modem until a check
        // succeeds: the next check is told even when its line is the same.
        m_shownState.clear();
        {
            QMutexLocker lock(&m_failureMutex);
            m_lastFailure = why;
        }
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

void SmsWorker::noteOnce(const QString& text)
{
    if (m_noted.size() > 1000)
        m_noted.clear(); // a modem that lists ever new garbage must not grow us without end
    if (!m_noted.contains(text)) {
        m_noted.insert(text);
        Q_EMIT meldingMessage(text, 1);
    }
}

void SmsWorker::readReplies(ModemPort& port)
{
    SmsDialogue dialogue(port, m_timing);
    QList<StoredMessage> listed;
    QStringList skipped;
    QString problem;
    bool textMode = false;
    if (dialogue.listMessages(&listed, &skipped, &textMode, &problem) != SmsDialogue::Outcome::Ok) {
        Q_EMIT logLine(QStringLiteral("berichtenopslag niet gelezen: %1").arg(problem));
        return;
    }
    if (textMode) {
        // In text mode a stranger's text can imitate an entry of the listing:
        // nothing of it is believed, and nothing is deleted by it.
        if (!std::exchange(m_textListingNoted, true))
            Q_EMIT meldingMessage(QStringLiteral("De GSM-modem toont zijn berichtenopslag niet in PDU-modus, hoewel hij "
                                                 "AT+CMGF=0 aannam; SMS-antwoorden worden niet gelezen en blijven in "
                                                 "de modem staan."),
                                  0);
        return;
    }
    for (const QString& s : skipped)
        noteOnce(QStringLiteral("Berichtenopslag van de GSM-modem: %1 overgeslagen").arg(s));
    const StoreContents store = readStore(listed);
    // What cannot be read stays in the store: deleting it would lose a message we never saw.
    for (const UnreadableEntry& u : store.unreadable)
        noteOnce(QStringLiteral("SMS op plaats %1 in de GSM-modem is niet leesbaar (%2) en blijft staan").arg(u.index).arg(u.why));

    // Parts of a long reply wait for the rest, but not for ever: the store is small.
    QSet<QString> waiting;
    for (const ReadMessage& m : store.incomplete) {
        waiting.insert(m.partsKey);
        auto it = m_partsWaiting.find(m.partsKey);
        if (it == m_partsWaiting.end()) {
            m_partsWaiting.insert(m.partsKey, QDeadlineTimer(m_timing.partsWaitMs));
        } else if (it->hasExpired()) {
            Q_EMIT meldingMessage(QStringLiteral("Onvolledige SMS van %1 (%2 van %3 delen) verwijderd: \"%4\"")
                                      .arg(m.sender)
                                      .arg(m.partsPresent)
                                      .arg(m.partsTotal)
                                      .arg(m.text.simplified()),
                                  1);
            for (int index : m.indexes)
                dialogue.deleteMessage(index);
            m_partsWaiting.erase(it);
            waiting.remove(m.partsKey);
        }
    }
    m_partsWaiting.removeIf([&waiting](const auto& entry) { return !waiting.contains(entry.key()); });

    if (store.complete.isEmpty())
        return;
    auto conn = DatabaseConnector::open(m_database);
    if (!conn) {
        Q_EMIT logLine(QStringLiteral("antwoorden blijven staan: %1").arg(conn.error()));
        return;
    }
    for (const ReadMessage& m : store.complete)
        handleReply(dialogue, m, **conn);
}

void SmsWorker::handleReply(SmsDialogue& dialogue, const ReadMessage& m, const DatabaseConnector& conn)
{
    const auto reply = parseReply(m.text);
    const AckOutcome ack = handleStoredMessage(conn, m, reply, m_countryCode, QDateTime::currentDateTime());
    if (ack.databaseFailed) {
        Q_EMIT logLine(QStringLiteral("antwoord van %1 blijft staan: %2").arg(m.sender, ack.why));
        return; // kept in the modem: the next reading tries again
    }
    if (ack.alreadyHandled) {
        noteOnce(QStringLiteral("SMS van %1 op plaats %2 was al verwerkt; alleen opnieuw verwijderd")
                     .arg(m.sender)
                     .arg(m.indexes.value(0)));
    } else if (!reply) {
        Q_EMIT meldingMessage(QStringLiteral("SMS van %1 genegeerd: \"%2\"").arg(m.sender, m.text.simplified()), 1);
    } else if (ack.acknowledged) {
        ++m_acknowledged;
        Q_EMIT meldingMessage(
            QStringLiteral("Uitmelding %1 bevestigd door %2 per SMS").arg(ack.dispatchId).arg(ack.recipientName), 0);
    } else {
        Q_EMIT meldingMessage(QStringLiteral("SMS-antwoord \"%1\" van %2 bevestigt niets: %3")
                                  .arg(m.text.simplified(), m.sender, ack.why),
                              1);
    }
    // Only the places the modem gave for this message's own PDUs. One that
    // stays is recognised by its key at the next reading and only deleted.
    for (int index : m.indexes)
        if (dialogue.deleteMessage(index) != SmsDialogue::Outcome::Ok)
            noteOnce(QStringLiteral("SMS op plaats %1 in de GSM-modem kon niet worden verwijderd; de volgende "
                                    "lezing verwijdert haar opnieuw")
                         .arg(index));
}

} // namespace taviro::sms
