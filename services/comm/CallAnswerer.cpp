#include "CallAnswerer.h"

#include "DatabaseConnector.h"
#include "SchemaExtensions.h"
#include "SqlReportStore.h"
#include "TransmitterReport.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace taviro::comm {

using modem::AtFinal;
using modem::ModemPort;

namespace {
constexpr int AttemptsPerCall = 3;
} // namespace

CallAnswerer::CallAnswerer(DatabaseSettings database, ReceiverTiming timing, QObject* parent)
    : QThread(parent), m_database(std::move(database)), m_timing(timing)
{
}

CallAnswerer::~CallAnswerer()
{
    shutdown();
    wait();
}

bool CallAnswerer::startListening(const modem::LineSettings& line, const QString& initString, int timeoutMinutes,
                                  QString* problem)
{
    QMutexLocker lock(&m_mutex);
    m_line = line;
    m_initString = initString;
    m_callLimitMs = (timeoutMinutes > 0 ? timeoutMinutes : 15) * 60000;
    m_configured = true;
    lock.unlock();
    return restartListening(problem);
}

bool CallAnswerer::restartListening(QString* problem)
{
    QMutexLocker lock(&m_mutex);
    if (!m_configured) {
        *problem = QStringLiteral("geen poort ingesteld");
        return false;
    }
    m_wantListen = true;
    const int attempt = ++m_attemptWanted;
    m_wake.wakeAll();
    QDeadlineTimer deadline(m_timing.commandMs * 6 + 2000);
    while (m_attemptDone < attempt && !deadline.hasExpired())
        m_changed.wait(&m_mutex, deadline);
    if (m_attemptDone < attempt) {
        *problem = QStringLiteral("de modem antwoordt niet op tijd");
        return false;
    }
    *problem = m_attemptProblem;
    return m_attemptOk;
}

bool CallAnswerer::stopListening(int waitMs)
{
    QMutexLocker lock(&m_mutex);
    m_wantListen = false;
    m_wake.wakeAll();
    QDeadlineTimer deadline(waitMs);
    while (m_portOpen && !deadline.hasExpired())
        m_changed.wait(&m_mutex, deadline);
    return !m_portOpen;
}

void CallAnswerer::shutdown()
{
    m_stopping = true;
    QMutexLocker lock(&m_mutex);
    m_wantListen = false;
    m_wake.wakeAll();
}

void CallAnswerer::settle(int attempt, bool ok, const QString& problem)
{
    QMutexLocker lock(&m_mutex);
    if (attempt > m_attemptDone) {
        m_attemptDone = attempt;
        m_attemptOk = ok;
        m_attemptProblem = problem;
    }
    m_changed.wakeAll();
}

void CallAnswerer::run()
{
    ModemPort port;
    QDeadlineTimer nextOpen(0);
    QString lastProblem;
    while (!m_stopping) {
        bool listen = false;
        int attempt = 0;
        {
            QMutexLocker lock(&m_mutex);
            if (!m_wantListen && !port.isOpen())
                m_wake.wait(&m_mutex, 1000);
            listen = m_wantListen && !m_stopping;
            attempt = m_attemptWanted;
            if (attempt > m_attemptDone)
                nextOpen = QDeadlineTimer(0); // a (re)start asks for an attempt now
        }
        if (!listen) {
            if (port.isOpen() || m_portOpen) {
                port.close();
                m_portOpen = false;
                settle(0, false, {});
            }
            continue;
        }
        if (!port.isOpen()) {
            m_portOpen = false;
            if (!nextOpen.hasExpired()) {
                QMutexLocker lock(&m_mutex);
                m_wake.wait(&m_mutex, nextOpen);
                continue;
            }
            QString problem;
            const bool ok = openAndInitialise(port, &problem);
            m_portOpen = ok;
            settle(attempt, ok, problem);
            if (!ok && problem != lastProblem)
                Q_EMIT logLine(problem);
            lastProblem = ok ? QString() : problem;
            nextOpen = QDeadlineTimer(m_timing.retryOpenMs);
            continue;
        }
        settle(attempt, true, {});
        const auto line = port.readLine(200);
        if (!line) {
            if (port.failed()) {
                Q_EMIT meldingMessage(QStringLiteral("Ontvangstpoort COM %1 is weggevallen").arg(m_line.comNumber), 0);
                port.close();
                m_portOpen = false;
            }
            continue;
        }
        const AtFinal f = modem::finalResultOf(*line);
        if (line->trimmed() == "RING" || line->trimmed() == "2" || line->startsWith("+CRING"))
            takeCall(port, false);
        else if (f == AtFinal::Connect) // the modem answered by itself (S0 set)
            takeCall(port, true);
    }
    port.close();
    m_portOpen = false;
}

bool CallAnswerer::openAndInitialise(ModemPort& port, QString* problem)
{
    modem::LineSettings line;
    QString init;
    {
        QMutexLocker lock(&m_mutex);
        line = m_line;
        init = m_initString;
    }
    if (!port.open(line, problem))
        return false;
    modem::AtResult r;
    for (int i = 0; i < 3 && !r.ok(); ++i)
        r = port.command("AT", std::min(m_timing.commandMs, 2000));
    if (!r.ok()) {
        *problem = QStringLiteral("de modem op COM %1 antwoordt niet").arg(line.comNumber);
        port.close();
        return false;
    }
    QByteArray cmd = init.trimmed().toLatin1();
    if (!cmd.isEmpty()) {
        if (!cmd.toUpper().startsWith("AT"))
            cmd.prepend("AT");
        // A modem that does not know every setting still answers calls.
        if (!port.command(cmd, m_timing.commandMs).ok())
            Q_EMIT meldingMessage(QStringLiteral("COM %1: initialisatie \"%2\" niet geaccepteerd")
                                      .arg(line.comNumber)
                                      .arg(QString::fromLatin1(cmd)),
                                  1);
    }
    port.command("ATE0", m_timing.commandMs);
    return true;
}

void CallAnswerer::takeCall(ModemPort& port, bool alreadyConnected)
{
    m_inCall = true;
    if (!alreadyConnected) {
        const modem::AtResult r = port.command("ATA", m_timing.connectMs);
        if (r.final != AtFinal::Connect) {
            Q_EMIT logLine(QStringLiteral("oproep niet tot stand gekomen: %1").arg(QString::fromLatin1(r.finalLine)));
            if (r.timedOut())
                hangUp(port);
            m_inCall = false;
            return;
        }
    }
    receiveReport(port);
    m_inCall = false;
}

bool CallAnswerer::receiveReport(ModemPort& port)
{
    int callLimit = 0;
    {
        QMutexLocker lock(&m_mutex);
        callLimit = m_callLimitMs;
    }
    QDeadlineTimer callDeadline(callLimit);
    TransmitterReportReader reader;
    bool stored = false;
    for (int attempt = 0; attempt < AttemptsPerCall && !callDeadline.hasExpired();) {
        const auto line = port.readLine(int(std::min<qint64>(m_timing.lineMs, callDeadline.remainingTime())));
        if (!line || modem::finalResultOf(*line) == AtFinal::NoCarrier) {
            if (reader.state() == TransmitterReportReader::State::Reading)
                Q_EMIT meldingMessage(QStringLiteral("Verbinding met melder %1 verbroken tijdens de melding; niets opgeslagen")
                                          .arg(reader.report().melderAlias),
                                      0);
            if (!line)
                hangUp(port);
            return stored;
        }
        const auto state = reader.feed(*line);
        if (state == TransmitterReportReader::State::Bad) {
            ++attempt;
            Q_EMIT meldingMessage(QStringLiteral("Melding van melder %1 onleesbaar (%2)")
                                      .arg(reader.report().melderAlias.isEmpty() ? QStringLiteral("?") : reader.report().melderAlias,
                                           reader.problem()),
                                  1);
            port.write("NAK " + reader.problem().toLatin1() + "\r\n");
            reader.reset();
        } else if (state == TransmitterReportReader::State::Complete) {
            if (!storeOnce(reader)) {
                port.write("NAK OPSLAG\r\n");
                ++attempt;
                reader.reset();
                continue;
            }
            stored = true;
            port.write("ACK " + QByteArray::number(reader.sequence()) + "\r\n");
            // The transmitter hangs up once it has its acknowledgement.
            const auto bye = port.readLine(2000);
            if (!bye || modem::finalResultOf(*bye) != AtFinal::NoCarrier)
                hangUp(port);
            return stored;
        }
    }
    hangUp(port);
    return stored;
}

bool CallAnswerer::storeOnce(const TransmitterReportReader& reader)
{
    const ReceivedReport& report = reader.report();
    const QString key = QStringLiteral("%1;%2;%3").arg(report.melderAlias).arg(reader.sequence()).arg(reader.checksum());
    auto conn = DatabaseConnector::open(m_database);
    // The table of recent reports is ours; a database that no console of
    // this version opened yet gets it here rather than refusing the report.
    if (conn && !m_keysReady) {
        if (Status s = schema::ensureExtensions(**conn); s)
            m_keysReady = true;
    }
    // A transmitter that calls before anyone configured it is added by the
    // store; the operator should hear of it and fill in its details.
    bool known = true;
    if (conn)
        if (auto n = (*conn)->scalar(QStringLiteral("SELECT COUNT(*) FROM melders WHERE alias = ?"), {report.melderAlias}); n)
            known = n->toLongLong() > 0;
    auto stored = conn ? SqlReportStore(**conn).storeOnce(report, key)
                       : Result<SqlReportStore::Stored>::failure(conn.error());
    if (!stored) {
        Q_EMIT meldingMessage(QStringLiteral("Melding van melder %1 niet opgeslagen: %2").arg(report.melderAlias, stored.error()), 0);
        return false;
    }
    if (stored->repeat) {
        // The transmitter missed our acknowledgement and called again.
        Q_EMIT logLine(QStringLiteral("melding %1 van melder %2 al opgeslagen").arg(reader.sequence()).arg(report.melderAlias));
        return true;
    }
    // The console hears of it the moment it is committed, not when the
    // transmitter gets round to hanging up.
    Q_EMIT meldingReady();
    if (!known)
        Q_EMIT meldingMessage(QStringLiteral("Onbekende melder %1 heeft gemeld via COM %2; de melder is toegevoegd")
                                  .arg(report.melderAlias)
                                  .arg(m_line.comNumber),
                              1);
    ++m_stored;
    Q_EMIT logLine(QStringLiteral("melding %1 van melder %2 opgeslagen (%3 regels)")
                       .arg(stored->meldingId)
                       .arg(report.melderAlias)
                       .arg(report.lines.size()));
    return true;
}

void CallAnswerer::hangUp(ModemPort& port)
{
    QThread::msleep(ulong(m_timing.guardMs));
    port.write("+++");
    QThread::msleep(ulong(m_timing.guardMs));
    port.discardInput();
    if (!port.command("ATH", m_timing.commandMs).ok())
        Q_EMIT logLine(QStringLiteral("ophangen niet bevestigd door de modem"));
}

} // namespace taviro::comm
