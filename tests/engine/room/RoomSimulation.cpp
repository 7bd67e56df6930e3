#include "RoomSimulation.h"

#include "DutySlots.h"
#include "Installation.h"
#include "SqlReportStore.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Watchdog.h"

#include <QDir>

#include <algorithm>
#include <random>

namespace taviro::test::sim {

namespace {

const QString kJan = QStringLiteral("+31612345678");
const QString kMarieke = QStringLiteral("+31623456789");
constexpr qint64 kQuarter = DutySlots::kQuarterSecs;
constexpr qint64 kLateLimitSecs = Watchdog::kLimitMsecs / 1000 + 1;

// The tables a run fills; the installation (recipients, schedule, points) stays.
const char* const kRunTables[] = {"meldingen", "meldindex", "uitmeld", "uitmeldlink", "uitmeldclaim",
                                  "uitmeldmail", "uitmeldretry", "uitmeldverzonden", "taakslot",
                                  "werkplek", "meldingsleutel"};

} // namespace

void SimSms::send(const SmsRequest& request, const QString& sendId)
{
    Q_UNUSED(request);
    QRandomGenerator& rng = m_world.rng();
    const int roll = m_world.quiet() ? 99 : int(rng.bounded(100));
    SmsOutcome o{SmsOutcome::State::Sent, {}};
    const SmsOutcome failed{SmsOutcome::State::Failed, QStringLiteral("gesimuleerd")};
    if (roll < 8) { // the modem refuses: nothing went
        m_world.failed(m_engine);
        o = failed;
    } else if (roll < 14) { // sent, but the modem's answer says it failed
        m_world.received(m_engine, true);
        m_world.failed(m_engine);
        o = failed;
    } else if (roll < 20) { // no answer within the time-out; half of them went anyway
        if (rng.bounded(2))
            m_world.received(m_engine, true);
        m_world.waitWhileOthersWork(m_engine, 60);
        m_world.failed(m_engine);
        o = failed;
    } else if (roll < 23) { // the workstation dies with the message on its way
        m_world.received(m_engine, true);
        throw Killed{};
    } else if (roll < 25) { // it dies before the message left
        throw Killed{};
    } else if (roll < 35) { // sent, the answer comes late
        m_world.waitWhileOthersWork(m_engine, int(rng.bounded(10, 90)));
        m_world.received(m_engine, false);
    } else {
        m_world.received(m_engine, false);
    }
    m_outcomes.insert(sendId, o);
    Q_EMIT sendEnded(sendId, o);
}

Engine::Engine(World& world, const Workstation& s) : self(s)
{
    Q_UNUSED(world);
}

Engine::~Engine() = default;

World::World(const TestDatabase& db, const QString& logFolder) : m_db(db), m_conn(db.connect()), m_logFolder(logFolder)
{
}

World::~World() = default;

qint64 World::number(const QString& sql, const QVariantList& binds) const
{
    auto v = m_conn->scalar(sql, binds);
    return v ? sql::toLong(*v) : -1;
}

QString World::when(qint64 secs) const
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("HH:mm:ss"));
}

void World::prepareRoom()
{
    for (const char* t : kRunTables)
        (void)m_conn->exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
    Installation inst(*m_conn);
    if (number(QStringLiteral("SELECT COUNT(*) FROM ontvangers")) == 0) {
        const qint64 jan = inst.recipient(QStringLiteral("Jan de Vries"), kJan, QStringLiteral("jan@example.nl"), true, true);
        const qint64 marieke = inst.recipient(QStringLiteral("Marieke Bakker"), kMarieke, {}, true, false);
        WeekPlanning w = inst.weekTemplate(QStringLiteral("STD"));
        for (int day = 0; day < 7; ++day)
            for (int block = 0; block < 3; ++block) {
                w.cells[WeekPlanning::cellIndex(0, day, block)] = jan;
                w.cells[WeekPlanning::cellIndex(1, day, block)] = marieke;
            }
        const qint64 melder = inst.transmitter(QStringLiteral("1001"), QStringLiteral("Kantoor Centrum"), 1, inst.week(w), 0);
        inst.point(melder, QStringLiteral("01"), QStringLiteral("Inbraak hal"));
        inst.point(melder, QStringLiteral("02"), QStringLiteral("Brand keuken"));
        for (int i = 0; i < 3; ++i)
            inst.point(melder, QStringLiteral("9%1").arg(i), QStringLiteral("Dagtest %1").arg(i), 0, 0, true);
    }
    m_points.clear();
    auto q = m_conn->query(QStringLiteral("SELECT id FROM alarmen WHERE %1 = ? ORDER BY id").arg(m_conn->id(QStringLiteral("24uurs"))),
                           {sql::boolValue(true)});
    while (q && q->next())
        m_points.append(sql::toLong(q->value(0)));
    // Each point turns late at some moment of the run, or a little before it.
    for (qint64 point : std::as_const(m_points)) {
        const qint64 lastCheckIn = m_start - kLateLimitSecs + qint64(m_rng.bounded(-600, 2400));
        (void)m_conn->exec(QStringLiteral("UPDATE alarmen SET %1 = ?, tolate = ? WHERE id = ?").arg(m_conn->id(QStringLiteral("date"))),
                           {sql::dateValue(QDateTime::fromSecsSinceEpoch(lastCheckIn), m_conn->dialect()), sql::boolValue(false),
                            point});
        m_checkIns[point] = {lastCheckIn};
    }
    m_maxAttempts = m_rng.bounded(10) < 8 ? 3 : int(m_rng.bounded(1, 3));
    m_switchTime = QTime(10, 0).addSecs(60 * m_rng.bounded(5, 100)).toString(QStringLiteral("HH:mm"));
    inst.settings([&](Settings& s) {
        s.maxpogingen = m_maxAttempts;
        s.OnbemandRoosterActief = true;
        for (QString* day : {&s.maandag, &s.dinsdag, &s.woensdag, &s.donderdag, &s.vrijdag, &s.zaterdag, &s.zondag})
            *day = m_switchTime;
    });
}

void World::startEngine(const QString& naam, const QString& soort)
{
    auto e = std::make_unique<Engine>(*this, Workstation::starting(naam, soort));
    e->conn = m_db.connect();
    e->sms = std::make_unique<SimSms>(*this, *e);
    e->mail = std::make_unique<SimMail>(*this);
    e->heartbeat = std::make_unique<Heartbeat>(*e->conn, *m_log,
                                               e->isConsole() ? Heartbeat::Kind::Console : Heartbeat::Kind::Station, naam,
                                               HeartbeatTiming{30, 90});
    e->heartbeat->setStartId(e->self.startId);
    (void)e->heartbeat->signOn();
    e->console = std::make_unique<Console>(*e->conn, m_clock, *m_log, *e->sms, *e->mail);
    e->console->setWorkstation(e->self);
    e->console->setSmsSettleMsecs(0);
    (void)e->console->loadPlanningCache();
    Engine* raw = e.get();
    QObject::connect(e->console.get(), &Console::loginRequested, e->console.get(), [this, raw] {
        m_switches.append({raw->self.naam, now(), raw->mannedSince});
    });
    e->nextTick = now() + m_rng.bounded(60);
    m_events << QStringLiteral("%1 %2 %3 gestart").arg(when(now()), soort, naam);
    m_engines.push_back(std::move(e));
}

void World::replaceDead()
{
    // A dead workstation's objects go only here, where no stack of theirs
    // is left; its successor starts under the same name and kind.
    QList<Workstation> gone;
    for (auto& e : m_engines)
        if (e->dead)
            gone.append(e->self);
    m_engines.erase(std::remove_if(m_engines.begin(), m_engines.end(), [](const auto& e) { return e->dead; }),
                    m_engines.end());
    for (const Workstation& w : gone)
        startEngine(w.naam, w.soort);
}

void World::received(const Engine& sender, bool ghost)
{
    const qint64 dispatch = sending(sender);
    const Received r{dispatch, now(), ghost};
    if (dispatch == 0)
        m_strays.append(r);
    else
        m_received[dispatch].append(r);
}

qint64 World::sending(const Engine& sender) const
{
    // The one dispatch the sender holds a claim on is the one it sends.
    auto v = sender.conn->scalar(QStringLiteral("SELECT MAX(uitmeld_id) FROM uitmeldclaim WHERE startid = ?"),
                                 {sender.self.startId});
    return v && !v->isNull() ? sql::toLong(*v) : 0;
}

void World::failed(const Engine& sender)
{
    m_failed[sending(sender)].append(now());
}

void World::waitWhileOthersWork(const Engine& waiting, int seconds)
{
    const qint64 until = now() + seconds;
    ++m_depth;
    while (now() < until) {
        advance(std::min<qint64>(until - now(), m_rng.bounded(1, 20)));
        if (m_depth > 1)
            continue; // one wait at a time: the others only let time pass
        for (auto& e : m_engines)
            if (e.get() != &waiting && !e->dead && m_rng.bounded(2))
                step(*e, int(m_rng.bounded(2)));
    }
    --m_depth;
}

void World::advance(qint64 seconds)
{
    m_clock.advanceSecs(seconds);
}

void World::step(Engine& e, int what)
{
    try {
        if (what == 0)
            tick(e);
        else
            pass(e);
    } catch (const Killed&) {
        e.dead = true;
        ++m_kills;
        m_events << QStringLiteral("%1 %2 %3 valt uit tijdens het versturen").arg(when(now()), e.self.soort, e.self.naam);
    }
}

void World::tick(Engine& e)
{
    e.console->minuteTick();
    if (!e.dead)
        e.console->dispatchTick();
}

void World::pass(Engine& e)
{
    // A pass that delivered is followed at once by the next, as the event
    // loop would, until nothing is left for now.
    for (int i = 0; i < 40 && !e.dead; ++i)
        if (!e.console->deliverNextDispatch())
            break;
}

void World::newReport()
{
    // A receiver of one live workstation stores it and tells its program.
    std::vector<Engine*> live;
    for (auto& e : m_engines)
        if (!e->dead)
            live.push_back(e.get());
    Engine& at = *live[m_rng.bounded(int(live.size()))];
    ReceivedReport r;
    r.melderAlias = QStringLiteral("1001");
    r.receivedAt = m_clock.now();
    r.lines.append({m_rng.bounded(2) ? QStringLiteral("01") : QStringLiteral("02"), QStringLiteral("punt"), 1, {}, {}, {}});
    if (!SqlReportStore(*at.conn).store(r))
        return;
    try {
        (void)at.console->showNewActueel();
    } catch (const Killed&) {
        at.dead = true;
        ++m_kills;
    }
}

void World::acknowledge(int how)
{
    auto q = m_conn->query(QStringLiteral("SELECT id, done, (SELECT COUNT(*) FROM uitmeldclaim WHERE uitmeld_id = uitmeld.id) "
                                          "FROM uitmeld WHERE ontvanger_id <> 0 AND bevestiger = 0 AND bevestigtype = 0"));
    QList<std::tuple<qint64, bool, bool>> open;
    while (q && q->next())
        open.append({sql::toLong(q->value(0)), sql::toBool(q->value(1)), sql::toLong(q->value(2)) > 0});
    if (q)
        q->finish();
    if (open.isEmpty())
        return;
    const auto [id, done, claimed] = open[m_rng.bounded(int(open.size()))];
    const qint64 type = how == 0 ? 1 : how == 1 ? 2 : kClosedInBulk;
    // An operator's acknowledgement stops the repetition; the first SMS of a
    // dispatch not sent yet still goes. A reply or a bulk close ends it.
    const bool endsIt = type != 1;
    (void)m_conn->exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = ?, bevestiger = ?, bevestigdate = ?%1 "
                                      "WHERE id = ? AND bevestiger = 0 AND bevestigtype = 0")
                           .arg(endsIt ? QStringLiteral(", done = ?") : QString()),
                       endsIt ? QVariantList{type, 7, sql::dateValue(m_clock.now(), m_conn->dialect()), sql::boolValue(true), id}
                              : QVariantList{type, 7, sql::dateValue(m_clock.now(), m_conn->dialect()), id});
    m_acks.append({id, now(), type, 7, (claimed ? 1 : 0) + (type == 1 && !done ? 1 : 0)});
    m_events << QStringLiteral("%1 uitmelding %2 bevestigd (soort %3)").arg(when(now())).arg(id).arg(type);
}

void World::checkIn()
{
    const qint64 point = m_points[m_rng.bounded(int(m_points.size()))];
    (void)m_conn->exec(QStringLiteral("UPDATE alarmen SET %1 = ?, tolate = ? WHERE id = ?").arg(m_conn->id(QStringLiteral("date"))),
                       {sql::dateValue(m_clock.now(), m_conn->dialect()), sql::boolValue(false), point});
    m_checkIns[point].append(now());
}

void World::changeSchedule()
{
    m_switchTime = m_clock.now().time().addSecs(60 * (m_rng.bounded(-20, 40))).toString(QStringLiteral("HH:mm"));
    Installation(*m_conn).settings([&](Settings& s) {
        for (QString* day : {&s.maandag, &s.dinsdag, &s.woensdag, &s.donderdag, &s.vrijdag, &s.zaterdag, &s.zondag})
            *day = m_switchTime;
    });
    m_scheduleChanges.append(now());
    m_scheduleHistory.append({now(), m_switchTime});
    m_events << QStringLiteral("%1 omschakeltijd nu %2").arg(when(now()), m_switchTime);
}

void World::toggleManned()
{
    std::vector<Engine*> consoles;
    for (auto& e : m_engines)
        if (!e->dead && e->isConsole())
            consoles.push_back(e.get());
    if (consoles.empty())
        return;
    Engine& c = *consoles[m_rng.bounded(int(consoles.size()))];
    const bool on = !c.console->bemand();
    if (on)
        c.mannedSince = now();
    c.console->setBemand(on);
    m_events << QStringLiteral("%1 console %2 %3").arg(when(now()), c.self.naam, on ? QStringLiteral("bemand") : QStringLiteral("onbemand"));
}

void World::randomEvent()
{
    const int roll = int(m_rng.bounded(100));
    if (roll < 30)
        newReport();
    else if (roll < 36)
        acknowledge(int(m_rng.bounded(3)));
    else if (roll < 40)
        checkIn();
    else if (roll < 43)
        changeSchedule();
    else if (roll < 50)
        toggleManned();
    else if (roll < 54) { // a workstation dies between two of its steps
        Engine& e = *m_engines[m_rng.bounded(int(m_engines.size()))];
        if (!e.dead) {
            e.dead = true;
            ++m_kills;
            m_events << QStringLiteral("%1 %2 %3 valt uit").arg(when(now()), e.self.soort, e.self.naam);
        }
    } else if (roll < 57) { // the whole machine sleeps a while
        const qint64 sleep = m_rng.bounded(60, 400);
        advance(sleep);
    }
}

void World::quietPhase()
{
    // Nothing misbehaves any more and every timer fires on time: what the
    // room owes now comes out within two minutes of becoming due.
    m_quiet = true;
    m_quietFrom = now();
    replaceDead();
    for (int i = 0; i < 2; ++i)
        newReport();
    const qint64 until = now() + 17 * 60;
    while (now() < until) {
        advance(60);
        for (auto& e : m_engines) {
            step(*e, 0);
            step(*e, 1);
        }
    }
}

QStringList World::run(quint32 seed)
{
    m_rng.seed(seed);
    m_events.clear();
    m_received.clear();
    m_failed.clear();
    m_strays.clear();
    m_acks.clear();
    m_switches.clear();
    m_scheduleChanges.clear();
    m_scheduleHistory.clear();
    m_checkIns.clear();
    m_kills = 0;
    m_quiet = false;
    m_clock.set(QDateTime(QDate(2026, 12, 7).addDays(m_rng.bounded(7)), QTime(10, 0).addSecs(m_rng.bounded(1800))));
    m_start = now();
    m_log = std::make_unique<EventLog>(m_clock, m_logFolder + QStringLiteral("/run%1/").arg(seed));
    prepareRoom();
    m_scheduleHistory.append({m_start, m_switchTime});

    const int n = int(m_rng.bounded(2, 5));
    QList<std::pair<QString, QString>> names;
    for (int i = 0; i < n; ++i) {
        // A console and a station on one machine share its name.
        const QString soort = i == 0 || m_rng.bounded(2) ? Workstation::consoleKind() : Workstation::stationKind();
        QString naam = QStringLiteral("plek%1").arg(i);
        if (i > 0 && soort == Workstation::stationKind() && names[i - 1].second == Workstation::consoleKind())
            naam = names[i - 1].first;
        names.append({naam, soort});
        startEngine(naam, soort);
    }

    const qint64 end = m_start + 60 * qint64(m_rng.bounded(15, 40));
    while (now() < end) {
        advance(m_rng.bounded(1, 40));
        if (m_rng.bounded(3) == 0)
            randomEvent();
        // Timers fire in random order, each workstation's as late as its
        // event loop is blocked: seconds mostly, minutes at times, now and
        // then a whole quarter hour.
        std::vector<Engine*> order;
        for (auto& e : m_engines)
            order.push_back(e.get());
        std::shuffle(order.begin(), order.end(), std::mt19937(m_rng.generate()));
        for (Engine* e : order) {
            if (e->dead || now() < e->lateUntil)
                continue;
            if (now() >= e->nextTick) {
                step(*e, 0);
                e->nextTick = std::max(e->nextTick + 60, now() + 1);
                const int late = int(m_rng.bounded(100));
                if (late < 8)
                    e->lateUntil = now() + m_rng.bounded(30, 200);
                else if (late < 10)
                    e->lateUntil = now() + kQuarter + m_rng.bounded(60);
            }
            if (!e->dead && m_rng.bounded(3) == 0)
                step(*e, 1);
        }
        replaceDead();
    }
    quietPhase();
    QStringList failures = check();
    m_dispatchesSeen = int(number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id <> 0")));
    m_engines.clear();
    if (!failures.isEmpty())
        failures.prepend(QStringLiteral("verloop:\n  ") + m_events.join(QStringLiteral("\n  ")));
    return failures;
}

QStringList World::check() const
{
    QStringList bad;
    for (const Received& r : m_strays)
        bad << QStringLiteral("SMS om %1 zonder claim van de afzender verstuurd").arg(when(r.at));

    // Every dispatch: its sends within its attempts plus what went unrecorded,
    // never two in one quarter hour but for one that went unrecorded there.
    auto q = m_conn->query(QStringLiteral("SELECT id, ontvanger_id, bevestigtype, bevestiger, done, %1 FROM uitmeld "
                                          "WHERE ontvanger_id <> 0")
                               .arg(m_conn->id(QStringLiteral("date"))));
    struct Row
    {
        qint64 id, ontvanger, type, by;
        bool done;
        qint64 created;
    };
    QList<Row> rows;
    while (q && q->next())
        rows.append({sql::toLong(q->value(0)), sql::toLong(q->value(1)), sql::toLong(q->value(2)), sql::toLong(q->value(3)),
                     sql::toBool(q->value(4)), sql::toDate(q->value(5)).toSecsSinceEpoch()});
    for (const Row& d : rows) {
        const QList<Received> sends = m_received.value(d.id);
        const int ghosts = int(std::count_if(sends.cbegin(), sends.cend(), [](const Received& r) { return r.ghost; }));
        if (sends.size() > m_maxAttempts + ghosts)
            bad << QStringLiteral("uitmelding %1: %2 SMS bij %3 pogingen en %4 onvastgelegde").arg(d.id).arg(sends.size()).arg(m_maxAttempts).arg(ghosts);
        QHash<qint64, QList<const Received*>> perQuarter;
        for (const Received& r : sends)
            perQuarter[DutySlots::slotOf(r.at, kQuarter)].append(&r);
        for (auto it = perQuarter.cbegin(); it != perQuarter.cend(); ++it) {
            const int ghostsHere = int(std::count_if(it->cbegin(), it->cend(), [](const Received* r) { return r->ghost; }));
            if (it->size() > 1 + ghostsHere) {
                QStringList at;
                for (const Received* r : *it)
                    at << when(r->at) + (r->ghost ? QStringLiteral("*") : QString());
                bad << QStringLiteral("uitmelding %1: %2 SMS tussen %3 en %4 (%5)")
                           .arg(d.id)
                           .arg(it->size())
                           .arg(when(it.key()), when(it.key() + kQuarter), at.join(QStringLiteral(", ")));
            }
        }
        // What came in once the room was quiet went out within two minutes.
        if (d.created >= m_quietFrom && (sends.isEmpty() || sends.first().at > d.created + 120))
            bad << QStringLiteral("uitmelding %1 van %2 niet binnen twee minuten verstuurd").arg(d.id).arg(when(d.created));
        // Nothing lost: an open dispatch has gone out at least once by now.
        if (d.type == 0 && sends.isEmpty())
            bad << QStringLiteral("uitmelding %1 is nooit verstuurd (done %2, claims %3, pauzes %4, regels %5)")
                       .arg(d.id)
                       .arg(d.done)
                       .arg(number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim WHERE uitmeld_id = ?"), {d.id}))
                       .arg(number(QStringLiteral("SELECT COUNT(*) FROM uitmeldretry WHERE uitmeld_id = ?"), {d.id}))
                       .arg(number(QStringLiteral("SELECT COUNT(*) FROM uitmeldlink WHERE uitmeld_id = ?"), {d.id}));
        // In the quiet phase a repetition owed at a mark goes within two minutes.
        if (d.type == 0 && !sends.isEmpty()) {
            for (qint64 mark = DutySlots::slotOf(m_quietFrom, kQuarter) + kQuarter; mark + 120 <= now(); mark += kQuarter) {
                const int before = int(std::count_if(sends.cbegin(), sends.cend(),
                                                     [&](const Received& r) { return r.at < mark && !r.ghost; }));
                // A failure shortly before pauses it (up to a quarter hour) instead.
                const QList<qint64> failures = m_failed.value(d.id);
                const bool pausing = std::any_of(failures.cbegin(), failures.cend(),
                                                 [&](qint64 f) { return f >= mark - kQuarter - 60; });
                const bool owed = before > 0 && before < m_maxAttempts && !pausing;
                const bool went = std::any_of(sends.cbegin(), sends.cend(), [&](const Received& r) { return r.at >= mark && r.at <= mark + 120; });
                if (owed && !went) {
                    QStringList at;
                    for (const Received& r : sends)
                        at << when(r.at) + (r.ghost ? QStringLiteral("*") : QString());
                    bad << QStringLiteral("uitmelding %1: herhaling van %2 niet binnen twee minuten (stil vanaf %3; "
                                          "verstuurd %4; pogingen %5)")
                               .arg(d.id)
                               .arg(when(mark), when(m_quietFrom), at.join(QStringLiteral(", ")))
                               .arg(number(QStringLiteral("SELECT pogingen FROM uitmeld WHERE id = ?"), {d.id}));
                }
            }
        }
    }

    // Every e-mail a dispatch records as gone waits in the outbox, once; none
    // is queued for a dispatch that records nothing.
    auto mq = m_conn->query(QStringLiteral("SELECT uitmeld.id, uitmeld.uitmeldtype, (SELECT COUNT(*) FROM mailwachtrij WHERE "
                                           "mailwachtrij.uitmeld_id = uitmeld.id) FROM uitmeld INNER JOIN ontvangers ON "
                                           "ontvangers.id = uitmeld.ontvanger_id WHERE ontvangers.UseEmail = ? AND "
                                           "ontvangers.email <> ''"),
                            {sql::boolValue(true)});
    if (!mq)
        bad << QStringLiteral("wachtrij niet te lezen: ") + mq.error();
    while (mq && mq->next()) {
        const qint64 id = sql::toLong(mq->value(0)), type = sql::toLong(mq->value(1)), mails = sql::toLong(mq->value(2));
        if ((type != 0 && mails != 1) || (type == 0 && mails != 0))
            bad << QStringLiteral("uitmelding %1 (uitmeldtype %2): %3 e-mail(s) in de wachtrij").arg(id).arg(type).arg(mails);
    }

    // No acknowledgement or bulk close undone, and nothing sent after one
    // but what was on its way.
    for (const Acknowledged& a : m_acks) {
        auto row = std::find_if(rows.cbegin(), rows.cend(), [&](const Row& d) { return d.id == a.dispatch; });
        if (row == rows.cend() || row->type != a.type || row->by != a.by)
            bad << QStringLiteral("bevestiging (soort %1) van uitmelding %2 om %3 is ongedaan gemaakt").arg(a.type).arg(a.dispatch).arg(when(a.at));
        if (row != rows.cend() && a.type != 1 && !row->done)
            bad << QStringLiteral("uitmelding %1 staat weer open na bevestiging om %2").arg(a.dispatch).arg(when(a.at));
        const QList<Received> sends = m_received.value(a.dispatch);
        const int after = int(std::count_if(sends.cbegin(), sends.cend(), [&](const Received& r) { return r.at > a.at && !r.ghost; }));
        if (after > a.allowed)
            bad << QStringLiteral("uitmelding %1: %2 SMS na de bevestiging om %3").arg(a.dispatch).arg(after).arg(when(a.at));
    }

    // Every switch made was owed by a switch time in force meanwhile, and
    // no console still manned owes one by the schedule of now.
    const auto momentsBetween = [](const QString& hhmm, qint64 from, qint64 to) {
        QList<qint64> found;
        const QTime at = QTime::fromString(hhmm, QStringLiteral("HH:mm"));
        for (QDate day = QDateTime::fromSecsSinceEpoch(from).date(); day <= QDateTime::fromSecsSinceEpoch(to).date();
             day = day.addDays(1)) {
            const qint64 m = QDateTime(day, at).toSecsSinceEpoch();
            if (m > from && m <= to)
                found.append(m);
        }
        return found;
    };
    for (const Switch& s : m_switches) {
        bool owed = false;
        for (const auto& [since, hhmm] : m_scheduleHistory)
            owed = owed || (since <= s.at && !momentsBetween(hhmm, s.mannedSince, s.at).isEmpty());
        if (!owed)
            bad << QStringLiteral("console %1 om %2 onbemand gezet zonder omschakeltijd (bemand sinds %3)")
                       .arg(s.console, when(s.at), when(s.mannedSince));
    }
    for (const auto& e : m_engines) {
        if (e->dead || !e->isConsole() || !e->console->bemand())
            continue;
        for (qint64 moment : momentsBetween(m_switchTime, e->mannedSince, now() - 60))
            bad << QStringLiteral("console %1 is om %2 niet onbemand gezet (bemand sinds %3)")
                       .arg(e->self.naam, when(moment), when(e->mannedSince));
    }

    // Every late check-in reported once.
    for (qint64 point : m_points) {
        const QList<qint64> checkIns = m_checkIns.value(point);
        auto rq = m_conn->query(QStringLiteral("SELECT meldingen.melding_date FROM meldindex INNER JOIN meldingen ON meldingen.id = "
                                               "meldindex.melding_id WHERE meldindex.alarm_id = ?"),
                                {point});
        QList<qint64> reports;
        while (rq && rq->next())
            reports.append(sql::toDate(rq->value(0)).toSecsSinceEpoch());
        for (qsizetype i = 0; i < checkIns.size(); ++i) {
            const qint64 from = checkIns[i];
            const qint64 to = i + 1 < checkIns.size() ? checkIns[i + 1] : now() + 1;
            const int n = int(std::count_if(reports.cbegin(), reports.cend(), [&](qint64 r) { return r >= from && r < to; }));
            const bool mustBeReported = i + 1 == checkIns.size() && from + kLateLimitSecs < now() - kQuarter - 60;
            if (n > 1 || (mustBeReported && n != 1))
                bad << QStringLiteral("alarmpunt %1, ingecheckt om %2: %3 meldingen 'te laat'").arg(point).arg(when(from)).arg(n);
        }
    }
    return bad;
}

} // namespace taviro::test::sim
