#include "Heartbeat.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "MailOutbox.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSysInfo>

#include <algorithm>

#include <unistd.h>

namespace taviro {

namespace {

int secondsFromEnvironment(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

QString programOf(const QString& exeLink)
{
    QString target = QFileInfo(exeLink).symLinkTarget();
    // A program rebuilt or upgraded while it runs still counts as itself.
    if (target.endsWith(QStringLiteral(" (deleted)")))
        target.chop(10);
    return QFileInfo(target).fileName();
}

} // namespace

HeartbeatTiming HeartbeatTiming::fromEnvironment()
{
    HeartbeatTiming t;
    t.beatSeconds = secondsFromEnvironment("TAVIRO_HEARTBEAT_SECONDS", t.beatSeconds);
    t.staleSeconds = secondsFromEnvironment("TAVIRO_HEARTBEAT_STALE_SECONDS", t.staleSeconds);
    return t;
}

bool heldByAnother(const WorkstationClaim& row, const QString& ownHost, qint64 ownPid, int staleSeconds,
                   const std::function<bool(qint64 pid)>& processAlive)
{
    if (row.ageSeconds > staleSeconds)
        return false; // whoever wrote it has stopped beating
    if (row.host != ownHost)
        return true;
    // On this machine the process table decides at once: a station that
    // systemd restarts after a crash finds its predecessor gone, not fresh.
    if (row.pid == ownPid)
        return false;
    return processAlive(row.pid);
}

bool sameProgramAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    const QString other = programOf(QStringLiteral("/proc/%1/exe").arg(pid));
    return !other.isEmpty() && other == programOf(QStringLiteral("/proc/self/exe"));
}

Heartbeat::Heartbeat(const DatabaseConnector& conn, EventLog& log, Kind kind, QString name,
                     HeartbeatTiming timing, QObject* parent)
    : QObject(parent), m_conn(conn), m_log(log), m_kind(kind), m_name(std::move(name)),
      m_timing(timing), m_host(QSysInfo::machineHostName()), m_pid(::getpid())
{
    connect(&m_timer, &QTimer::timeout, this, &Heartbeat::beat);
    m_lookTimer.setSingleShot(true);
    connect(&m_lookTimer, &QTimer::timeout, this, &Heartbeat::lookAtRoom);
}

QString Heartbeat::nowSeconds() const
{
    return sql::serverNowSeconds(m_conn.dialect());
}

QString Heartbeat::kindText() const
{
    return m_kind == Kind::Console ? QStringLiteral("console") : QStringLiteral("station");
}

Status Heartbeat::signOn()
{
    m_nameTaken = false;
    Transaction tx(m_conn);
    if (Status s = tx.begin(); !s)
        return s;
    // On PostgreSQL two stations starting at once wait for each other here;
    // on SQLite the transaction already holds the write lock.
    const QString lockRow = m_conn.dialect() == Dialect::PostgreSQL ? QStringLiteral(" FOR UPDATE") : QString();
    auto q = m_conn.query(QStringLiteral("SELECT host, pid, %1 - hartslag FROM werkplek WHERE naam = ? AND soort = ?%2")
                              .arg(nowSeconds(), lockRow),
                          {sql::textValue(m_name), sql::textValue(kindText())});
    if (!q)
        return Status::failure(q.error());
    if (q->next()) {
        const WorkstationClaim row{sql::toText(q->value(0)), sql::toLong(q->value(1)), sql::toLong(q->value(2))};
        if (heldByAnother(row, m_host, m_pid, m_timing.staleSeconds, sameProgramAlive)) {
            m_nameTaken = true;
            return Status::failure(
                QStringLiteral("Er werkt al een %1 met de naam %2 (op %3). Geef elke werkplek een eigen naam "
                               "met TAVIRO_STATION.")
                    .arg(kindText(), m_name, row.host));
        }
    }
    if (Status s = writeRow(); !s)
        return s;
    return tx.commit();
}

Status Heartbeat::writeRow()
{
    // A silence reported earlier ends with this beat: a later one is reported anew.
    const QVariantList values{sql::textValue(m_operator), sql::boolValue(m_manned), sql::textValue(m_host),
                              sql::keyValue(m_pid), sql::boolValue(false), sql::boolValue(m_modemReady),
                              sql::textValue(m_startId)};
    auto updated = m_conn.query(QStringLiteral("UPDATE werkplek SET gebruiker = ?, bemand = ?, hartslag = %1, host = ?, "
                                               "pid = ?, stilgemeld = ?, gsmklaar = ?, startid = ? WHERE naam = ? AND soort = ?")
                                    .arg(nowSeconds()),
                                values + QVariantList{sql::textValue(m_name), sql::textValue(kindText())});
    if (!updated)
        return Status::failure(updated.error());
    if (updated->numRowsAffected() > 0)
        return {};
    // Our row is gone (another program emptied the table): write it again.
    return m_conn.exec(QStringLiteral("INSERT INTO werkplek (naam, soort, gebruiker, bemand, hartslag, host, pid, "
                                      "stilgemeld, gsmklaar, startid) VALUES (?, ?, ?, ?, %1, ?, ?, ?, ?, ?)")
                           .arg(nowSeconds()),
                       QVariantList{sql::textValue(m_name), sql::textValue(kindText())} + values);
}

void Heartbeat::start()
{
    m_timer.start(m_timing.beatSeconds * 1000);
}

void Heartbeat::signOff()
{
    m_timer.stop();
    m_lookTimer.stop();
    m_manned = false;
    m_operator.clear();
    m_modemReady = false;
    (void)writeRow();
}

void Heartbeat::setManned(bool on)
{
    if (m_manned == on)
        return;
    m_manned = on;
    beat();
}

void Heartbeat::setOperator(const QString& naam)
{
    if (m_operator == naam)
        return;
    m_operator = naam;
    beat();
}

void Heartbeat::setModemReady(bool on)
{
    if (m_modemReady == on)
        return;
    m_modemReady = on;
    beat();
}

void Heartbeat::beat()
{
    if (Status s = writeRow(); !s) {
        // Said once per outage: the room is judged by the others meanwhile.
        if (!m_writeFailureLogged)
            m_log.writeLog(QStringLiteral("Hartslag van %1 niet geschreven: %2").arg(m_name, s.error()), 1);
        m_writeFailureLogged = true;
        return;
    }
    m_writeFailureLogged = false;
    lookAtRoom();
}

bool Heartbeat::roomManned() const
{
    auto n = m_conn.scalar(
        QStringLiteral("SELECT COUNT(*) FROM werkplek WHERE soort = ? AND bemand = ? AND hartslag > %1 - ?")
            .arg(nowSeconds()),
        {sql::textValue(QStringLiteral("console")), sql::boolValue(true), sql::keyValue(m_timing.staleSeconds)});
    return n && sql::toLong(*n) > 0;
}

bool Heartbeat::anotherModemReady() const
{
    auto n = m_conn.scalar(QStringLiteral("SELECT COUNT(*) FROM werkplek WHERE gsmklaar = ? AND hartslag >= %1 - ? "
                                          "AND NOT (naam = ? AND soort = ?)")
                               .arg(nowSeconds()),
                           {sql::boolValue(true), sql::keyValue(m_timing.staleSeconds), sql::textValue(m_name),
                            sql::textValue(kindText())});
    return n && sql::toLong(*n) > 0;
}

void Heartbeat::lookAtRoom()
{
    auto q = m_conn.query(
        QStringLiteral("SELECT naam, hartslag, %1 - hartslag FROM werkplek WHERE soort = ? AND bemand = ?")
            .arg(nowSeconds()),
        {sql::textValue(QStringLiteral("console")), sql::boolValue(true)});
    if (!q)
        return;
    struct Silent
    {
        QString naam;
        qint64 hartslag;
    };
    QList<Silent> silent;
    QSet<QString> stillSilent;
    bool manned = false;
    qint64 untilUnmanned = 0;
    while (q->next()) {
        const qint64 age = sql::toLong(q->value(2));
        if (age < m_timing.staleSeconds) {
            manned = true;
            untilUnmanned = std::max(untilUnmanned, m_timing.staleSeconds - age);
            continue;
        }
        const Silent s{sql::toText(q->value(0)), sql::toLong(q->value(1))};
        stillSilent.insert(s.naam + QLatin1Char(';') + QString::number(s.hartslag));
        silent.append(s);
    }
    q->finish();
    scheduleLook(untilUnmanned);
    m_silenceNoticed.intersect(stillSilent);
    m_silenceSettled.intersect(stillSilent);
    for (const Silent& s : silent)
        reportSilence(s.naam, s.hartslag, manned);
    if (!m_roomKnown || manned != m_roomManned) {
        if (m_roomKnown)
            m_log.writeLog(manned ? QStringLiteral("De meldkamer is bemand.")
                                  : QStringLiteral("De meldkamer is onbemand; meldingen worden doorgestuurd."),
                           1);
        m_roomKnown = true;
        m_roomManned = manned;
        Q_EMIT roomMannedChanged(manned);
    }
}

void Heartbeat::scheduleLook(qint64 secondsUntilUnmanned)
{
    // Ages are whole seconds on the server's clock and cut off, never
    // rounded up: waking this many seconds from now the age has reached the
    // staleness time for certain.
    if (secondsUntilUnmanned <= 0)
        return; // nobody mans the room: the beats look often enough
    m_lookTimer.start(int(std::min<qint64>(secondsUntilUnmanned, m_timing.beatSeconds) * 1000));
}

void Heartbeat::reportSilence(const QString& naam, qint64 hartslag, bool roomManned)
{
    const QString key = naam + QLatin1Char(';') + QString::number(hartslag);
    if (m_silenceSettled.contains(key))
        return;
    const QString since = QDateTime::fromSecsSinceEpoch(hartslag).toLocalTime().toString(QStringLiteral("dd-MM-yyyy HH:mm:ss"));
    if (!m_silenceNoticed.contains(key))
        m_log.writeLog(QStringLiteral("Console %1 was bemand maar geeft sinds %2 geen hartslag meer.").arg(naam, since), 0);
    m_silenceNoticed.insert(key);

    // Whoever marks the row tells the unmanned address, by a mail queued in
    // the same transaction: a workstation that dies right after the mark
    // has still told. Every other workstation finds it marked. A silence
    // while another console still mans the room is logged only: nobody has
    // to come.
    Transaction tx(m_conn);
    Status s = tx.begin();
    bool mine = false;
    if (s) {
        auto marked = m_conn.query(
            QStringLiteral("UPDATE werkplek SET stilgemeld = ? WHERE naam = ? AND soort = ? AND hartslag = ? AND stilgemeld = ?"),
            {sql::boolValue(true), sql::textValue(naam), sql::textValue(QStringLiteral("console")), sql::keyValue(hartslag),
             sql::boolValue(false)});
        if (marked)
            mine = marked->numRowsAffected() > 0;
        else
            s = Status::failure(marked.error());
    }
    QString to;
    if (s && mine && !roomManned) {
        auto address = m_conn.scalar(QStringLiteral("SELECT OnbemandeMeldingEmail FROM settings ORDER BY id LIMIT 1"));
        if (address)
            to = sql::toText(*address).trimmed();
        else
            s = Status::failure(address.error());
    }
    if (s && !to.isEmpty()) {
        outbox::OutgoingMail mail;
        mail.key = outbox::silentConsoleKey(naam, hartslag);
        mail.address = to;
        mail.subject = QStringLiteral("Taviro: meldkamer onbemand, console %1 stil").arg(naam);
        mail.body = QStringLiteral("Console %1 was bemand maar geeft sinds %2 geen hartslag meer. De meldkamer geldt "
                                   "vanaf nu als onbemand: nieuwe meldingen worden volgens de roosters doorgestuurd.\r\n\r\n"
                                   "Gemeld door %3.")
                        .arg(naam, since, m_name);
        s = Status::from(outbox::queueMail(m_conn, mail));
    }
    if (s)
        s = tx.commit();
    if (!s) {
        // Rolled back, mark and all: the next look at the room tries again.
        m_log.writeLog(QStringLiteral("Stille console %1 niet vastgelegd: %2").arg(naam, s.error()), 1);
        return;
    }
    m_silenceSettled.insert(key);
    if (!to.isEmpty())
        m_log.writeLog(QStringLiteral("Bericht over de stille console %1 gemaild naar %2").arg(naam, to), 1);
}

} // namespace taviro
