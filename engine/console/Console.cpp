#include "Console.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "LegacyLinks.h"
#include "ReportAcknowledgement.h"
#include "Repositories.h"
#include "SqlValues.h"
#include "TestAlarms.h"
#include "Transaction.h"
#include "Workstation.h"
#include "UnmannedSchedule.h"
#include "WorkNotice.h"

#include <QEventLoop>
#include <QSqlQuery>

namespace taviro {

namespace {
constexpr int kTimerMsecs = 60000;
// How often replies are read from a modem whose port a receiver shares; an
// unshared modem is read by the SMS service itself at the same pace.
constexpr int kSmsPollMsecs = 30000;
// Work another workstation made waits at most this long where no NOTIFY
// carries it (SQLite, or a notification lost with a connection).
constexpr int kWorkLookMsecs = 1000;
} // namespace

Console::Console(const DatabaseConnector& conn, const Clock& clock, EventLog& log, SmsService& sms,
                 MailSender& mail, QObject* parent)
    : QObject(parent), m_conn(conn), m_clock(clock), m_log(log),
      m_self(Workstation::starting(defaultStationName(), Workstation::consoleKind())), m_sms(sms), m_mail(mail),
      m_composer(conn), m_creator(conn, m_cache, m_composer, log),
      m_escalation(conn, m_cache, m_creator, m_composer, log),
      m_delivery(conn, clock, log, m_composer, *this), m_watchdog(conn, clock, log),
      m_store(conn), m_sql(conn), m_unmannedSwitch(conn, clock, m_self)
{
    setWorkstation(m_self);
    connect(&m_sms, &ServiceComponent::meldingMessage, &m_log, &EventLog::writeLog);
    connect(&m_mail, &ServiceComponent::meldingMessage, &m_log, &EventLog::writeLog);
    connect(&m_uitmeldTimer, &QTimer::timeout, this, &Console::dispatchTick);
    connect(&m_dagelijkseTimer, &QTimer::timeout, this, &Console::minuteTick);
    connect(&m_sms, &SmsService::modemStateChanged, this, &Console::smsModemStateChanged);
    connect(&m_sms, &SmsService::modemStateChanged, this, &Console::noteModemState);
    m_delivery.modemStanding().setOwnReadyObserver([this](bool ready) {
        if (ready) {
            m_delivery.modemReadyAgain();
            scheduleNextPass();
        }
        Q_EMIT smsModemReadyChanged(ready);
    });
    connect(&m_smsPollTimer, &QTimer::timeout, this, [this] { pollSmsReplies(false); });
    connect(&m_listingTimer, &QTimer::timeout, this, [this] { followOtherStations(); });
    m_portBackRetry.setSingleShot(true);
    connect(&m_portBackRetry, &QTimer::timeout, this, &Console::retryPortBack);
    // A late end of a send the wait gave up on is recorded at once, and the
    // SMS that waited behind it can go.
    connect(&m_sms, &SmsService::sendEnded, this, [this] {
        if (m_delivery.heldSends() > 0 && !m_smsBusy)
            QTimer::singleShot(0, this, [this] {
                if (m_delivery.heldSends() > 0 && !m_smsBusy && !m_shuttingDown)
                    deliverNextDispatch();
            });
    });
    connect(&m_workTimer, &QTimer::timeout, this, &Console::lookForWork);
}

Console::~Console() = default;

void Console::setWorkstation(const Workstation& self)
{
    m_self = self;
    m_delivery.setWorkstation(self);
    m_watchdog.setWorkstation(self);
    m_unmannedSwitch.setWorkstation(self);
}

void Console::setBemand(bool on)
{
    if (m_bemand == on)
        return;
    m_bemand = on;
    if (on)
        m_mannedSince = m_clock.now();
    Q_EMIT bemandChanged(on);
}

void Console::setShuttingDown(bool on)
{
    m_shuttingDown = on;
    m_delivery.setShuttingDown(on);
    if (on && m_smsWait)
        m_smsWait->quit();
    if (on && m_mailTestWait)
        m_mailTestWait->quit();
}

void Console::startTimers()
{
    m_uitmeldTimer.start(kTimerMsecs);
    m_dagelijkseTimer.start(kTimerMsecs);
    m_smsPollTimer.start(kSmsPollMsecs);
    m_workTimer.start(kWorkLookMsecs);
    if (!m_workListener) {
        m_workListener = std::make_unique<WorkListener>(m_conn);
        connect(m_workListener.get(), &WorkListener::workAnnounced, this, &Console::lookForWork);
    }
}

void Console::lookForWork()
{
    // A lost connection is restored by the minute's tick, which may wait for
    // the server; this look must stay short.
    if (m_shuttingDown || m_conn.lost())
        return;
    if (m_workListener)
        m_workListener->ensure();
    auto unseen =
        m_conn.scalar(QStringLiteral("SELECT id FROM meldingen WHERE %1 = ? AND seen = ? LIMIT 1")
                          .arg(m_conn.id(QStringLiteral("show"))),
                      {sql::boolValue(true), sql::boolValue(false)});
    if (unseen && !unseen->isNull())
        (void)showNewActueel(); // delivers what it created
    else if (!m_smsBusy)
        (void)deliverNextDispatch();
}

Status Console::claim(qint64 meldingId, bool& claimed)
{
    // Only an unseen report is taken in: whoever got here first has it.
    auto n = m_sql.update(
        QStringLiteral("UPDATE meldingen SET seen = ?, bemand = ? WHERE id = ? AND seen = ?"),
        {sql::boolValue(true), sql::boolValue(m_stampBemand), sql::keyValue(meldingId), sql::boolValue(false)});
    if (!n)
        return Status::failure(n.error());
    claimed = *n != 0;
    return {};
}

Status Console::takeIn(const QList<qint64>& ids, const CreationSettings& settings,
                       QList<TakenIn>& taken)
{
    CachedTransaction tx(m_sql);
    Status s = tx.begin();
    // Ascending keys: two stations taking in the same backlog wait for each
    // other's claims in one order and cannot deadlock. Only the reports this
    // station claimed get dispatches from it.
    QList<qint64> claimed;
    for (qsizetype i = 0; s && i < ids.size(); ++i) {
        bool mine = false;
        s = claim(ids[i], mine);
        if (s && mine)
            claimed.append(ids[i]);
    }
    QList<CreatedDispatches> created;
    const QDateTime now = m_clock.now();
    if (s && !claimed.isEmpty()) {
        auto c = m_creator.createDispatches(claimed, now, settings);
        if (c)
            created = std::move(*c);
        else
            s = Status::failure(c.error());
    }
    for (qsizetype i = 0; s && i < created.size(); ++i)
        s = m_escalation.escalateAtIntake(claimed[i], created[i], now, settings);
    // A station that sends (this console may leave sending to one beside
    // it) hears of the new dispatches at the commit.
    if (s && !claimed.isEmpty())
        s = announceWork(m_conn);
    if (s)
        s = tx.commit();
    if (!s) {
        m_escalation.forgetIntakeDecisions();
        return s; // rolled back: every report of the run is still unseen
    }
    m_escalation.reportIntakeDecisions();
    for (qsizetype i = 0; i < claimed.size(); ++i)
        taken.append({claimed[i], std::move(created[i].listed)});
    return s;
}

void Console::takeInBacklog(const QList<qint64>& ids, const CreationSettings& settings,
                            QList<TakenIn>& taken)
{
    // A storm of reports costs one durable commit per run of reports instead
    // of one per report; the run is all or nothing, like a single report.
    constexpr qsizetype kRun = 100;
    for (qsizetype from = 0; from < ids.size(); from += kRun) {
        const QList<qint64> run = ids.mid(from, kRun);
        const Status s = takeIn(run, settings, taken);
        if (s)
            continue;
        if (run.size() == 1 || m_conn.lost()) {
            logNotTakenIn(run, s);
            if (m_conn.lost())
                return; // the next tick takes the whole backlog in again
            continue;
        }
        // One bad report must not hold the others back: one at a time.
        for (qint64 id : run)
            if (const Status one = takeIn({id}, settings, taken); !one) {
                logNotTakenIn({id}, one);
                if (m_conn.lost())
                    return;
            }
    }
}

void Console::logNotTakenIn(const QList<qint64>& run, const Status& s)
{
    // Rolled back: the reports stay unseen and the next intake tries again.
    const QString which = run.size() == 1
                              ? QStringLiteral("Melding %1").arg(run.first())
                              : QStringLiteral("Meldingen %1 t/m %2").arg(run.first()).arg(run.last());
    m_log.writeLog(QStringLiteral("%1 niet verwerkt: %2").arg(which, s.error()), 0);
}

bool Console::databaseReachable()
{
    noticeVanishedFile();
    if (!m_conn.lost())
        return true;
    const bool first = !m_outageLogged;
    if (first) {
        m_log.writeLog(
            QStringLiteral("De verbinding met de database is verbroken; meldingen wachten "
                           "tot ze terug is."),
            0);
        m_outageLogged = true;
    }
    if (Status s = m_conn.restore(); !s) {
        // Every tick tries again; the reason is worth one line, not one a minute.
        if (first)
            m_log.writeLog(s.error(), 1);
        return false;
    }
    m_log.writeLog(QStringLiteral("De verbinding met de database is hersteld."), 0);
    m_outageLogged = false;
    m_delivery.claims().noteOutageEnded();
    return true;
}

void Console::noticeVanishedFile()
{
    // The console goes on with the file it has open, so what is on screen
    // can still be forwarded; but the operator must know that nothing stored
    // now reaches the receivers, the other stations or the next start.
    const Status file = m_conn.fileStillThere();
    if (!file && !m_fileVanishedLogged) {
        m_log.writeLog(file.error() + QStringLiteral(" Start Taviro opnieuw met de juiste database."), 0);
        m_fileVanishedLogged = true;
    } else if (file && m_fileVanishedLogged) {
        m_fileVanishedLogged = false;
    }
}

QList<ActueelItem> Console::showNewActueel()
{
    if (!databaseReachable())
        return {};
    QList<qint64> ids;
    if (auto q = m_conn.query(
            QStringLiteral("SELECT id FROM meldingen WHERE %1 = ? AND seen = ? ORDER BY id")
                .arg(m_conn.id(QStringLiteral("show"))),
            {sql::boolValue(true), sql::boolValue(false)});
        q) {
        while (q->next())
            ids.append(sql::toLong(q->value(0)));
    } else {
        m_log.writeLog(QStringLiteral("Nieuwe meldingen niet leesbaar: ") + q.error(), 1);
    }

    // The room is asked only when there is something to stamp.
    const bool roomManned = !ids.isEmpty() && m_roomManned && m_roomManned();
    m_stampBemand = m_bemand || roomManned;
    if (m_intakeOnlyWhenUnmanned && roomManned)
        ids.clear();

    QList<ActueelItem> items;
    auto settings =
        ids.isEmpty() ? Result<CreationSettings>(CreationSettings{}) : m_creator.readSettings();
    if (!settings) {
        m_log.writeLog(QStringLiteral("Instellingen niet leesbaar; nieuwe meldingen wachten: ") +
                           settings.error(),
                       0);
        ids.clear();
    }
    // A schedule saved at another station counts from its next report on.
    if (!ids.isEmpty())
        m_cache.reloadIfChanged(m_conn, m_log);
    QList<TakenIn> taken;
    takeInBacklog(ids, *settings, taken);
    for (const TakenIn& t : taken) {
        // Reports of only check-ins, inactive lines or inactive transmitters
        // are forwarded by the rules but not listed.
        if (t.listed) {
            const ActueelItem item{t.meldingId, t.listed->meldingDate, t.listed->bemand,
                                   t.listed->naam, t.listed->adres};
            items.append(item);
            announce(item);
        }
    }
    noticeNewTransmitters();

    if (!m_smsBusy)
        deliverNextDispatch();
    return items;
}

Status Console::bevestigMelding(qint64 meldingId)
{
    (void)databaseReachable();
    const Status s = acknowledgeAtConsole(m_conn, meldingId, m_gebruikerId, m_clock.now());
    if (!s) {
        m_log.writeLog(
            QStringLiteral("Bevestigen van melding %1 mislukt: %2").arg(meldingId).arg(s.error()),
            0);
        return s;
    }
    m_listed.remove(meldingId);
    Q_EMIT meldingAcknowledged(meldingId);
    if (m_lampActive)
        Q_EMIT lampRequested(false);
    return s;
}

bool Console::deliverNextDispatch()
{
    if (!m_sending || m_smsBusy || m_shuttingDown || !databaseReachable())
        return false;
    const bool more = m_delivery.deliverNextDispatch();
    if (more)
        scheduleNextPass();
    return more;
}

void Console::scheduleNextPass()
{
    // A backlog drains at the speed of the senders, one dispatch a pass, while
    // the window stays responsive between passes.
    if (m_passScheduled)
        return;
    m_passScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_passScheduled = false;
        deliverNextDispatch();
    });
}

void Console::checkOnbemandRooster()
{
    const std::optional<QDateTime> at = m_unmannedSwitch.takeOwedSwitch(m_mannedSince);
    if (!at)
        return;
    m_log.writeLog(QStringLiteral("Onbemand volgens rooster (%1).").arg(at->toString(QStringLiteral("HH:mm"))), 1);
    setBemand(false);
    Q_EMIT loginRequested();
}

void Console::noteListed(const QList<ActueelItem>& items)
{
    for (const ActueelItem& item : items)
        m_listed.insert(item.meldingId);
}

void Console::dropAcknowledgedElsewhere()
{
    // A few hundred keys a statement keeps even a long list to a few reads.
    const QList<qint64> listed(m_listed.cbegin(), m_listed.cend());
    constexpr int kChunk = 400;
    QList<qint64> gone;
    for (int from = 0; from < listed.size(); from += kChunk) {
        const QList<qint64> chunk = listed.mid(from, kChunk);
        QVariantList binds{sql::boolValue(false)};
        QStringList marks;
        for (qint64 id : chunk) {
            binds.append(sql::keyValue(id));
            marks.append(QStringLiteral("?"));
        }
        auto q =
            m_conn.query(QStringLiteral("SELECT id FROM meldingen WHERE %1 = ? AND id IN (%2)")
                             .arg(m_conn.id(QStringLiteral("show")), marks.join(QLatin1Char(','))),
                         binds);
        if (!q)
            return;
        while (q->next())
            gone.append(sql::toLong(q->value(0)));
    }
    for (qint64 id : gone) {
        m_listed.remove(id);
        Q_EMIT meldingAcknowledged(id);
    }
    // The lamp calls for a report nobody has acknowledged; once the last one
    // listed here was acknowledged at another workstation, nothing is left
    // for this operator to answer.
    if (!gone.isEmpty() && m_listed.isEmpty() && m_lampActive)
        Q_EMIT lampRequested(false);
}

void Console::dispatchTick()
{
    if (!databaseReachable())
        return;
    if (m_listingTimer.isActive())
        followOtherStations(true); // also what a lagging commit put below the keys looked at
    else
        dropAcknowledgedElsewhere();
    if (auto linked = linkNewLegacyDispatches(m_conn, m_log); !linked)
        m_log.writeLog(QStringLiteral("Koppelingen van uitmeldingen niet aangevuld: %1").arg(linked.error()), 1);
    m_delivery.tick();
    // Escalation dispatches made here go out in this tick's pass below.
    m_cache.reloadIfChanged(m_conn, m_log);
    m_escalation.run(m_clock.now());
    if (m_bemand)
        checkOnbemandRooster();
    // Unseen reports never wait for the next receiver event.
    auto unseen =
        m_conn.scalar(QStringLiteral("SELECT id FROM meldingen WHERE %1 = ? AND seen = ? LIMIT 1")
                          .arg(m_conn.id(QStringLiteral("show"))),
                      {sql::boolValue(true), sql::boolValue(false)});
    if (unseen && !unseen->isNull())
        showNewActueel();
    else if (!m_smsBusy)
        deliverNextDispatch();
}

void Console::minuteTick()
{
    // The minute's number decides nothing: a tick that comes late, twice or
    // not at all in some minute still finds what is owed by comparing the
    // quarter it is in with the quarter last done.
    const qint64 quarter = DutySlots::slotOf(m_clock.now().toSecsSinceEpoch(), DutySlots::kQuarterSecs);
    if (quarter != m_ownQuarter) {
        m_ownQuarter = quarter;
        ownQuarterWork();
    }
    roomQuarterDuties();
}

void Console::quarterHourTick()
{
    m_ownQuarter = DutySlots::slotOf(m_clock.now().toSecsSinceEpoch(), DutySlots::kQuarterSecs);
    ownQuarterWork();
    roomQuarterDuties();
}

void Console::ownQuarterWork()
{
    // A program of the site that writes the schedule tables without
    // counting its change is caught up with here, within a quarter hour.
    if (Status s = m_cache.load(m_conn, m_log); !s)
        m_log.writeLog(QStringLiteral("Roosters kunnen niet worden geladen: %1").arg(s.error()), 0);
}

void Console::roomQuarterDuties()
{
    if (!databaseReachable())
        return;
    // Late reports are taken in and forwarded at once, wherever they were made.
    if (!m_watchdog.check24uurs().isEmpty())
        showNewActueel();
    if (!m_delivery.rearmDue())
        return;
    // A reply that already came in must count before its dispatch goes out again.
    pollSmsReplies(true);
    if (m_delivery.rearmSmsDispatches() > 0 && !m_smsBusy)
        deliverNextDispatch();
}

Result<qint64> Console::makeTestAlarms(int transmitters, int alarms)
{
    TestAlarms test(m_store, m_clock);
    auto id = test.makeTestAlarms(transmitters, alarms);
    if (!id)
        m_log.writeLog(QStringLiteral("Testmelding niet opgeslagen: ") + id.error(), 0);
    showNewActueel();
    return id;
}

} // namespace taviro
