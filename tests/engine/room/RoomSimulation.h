#pragma once

#include "Console.h"
#include "DatabaseConnector.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "Heartbeat.h"
#include "ServiceInterfaces.h"
#include "Workstation.h"

#include <QHash>
#include <QRandomGenerator>
#include <QStringList>

#include <memory>
#include <vector>

namespace taviro::test {

class TestDatabase;

namespace sim {

class World;
struct Engine;

// Thrown by a fake service to drop its workstation between two of its
// steps, as a power cut would: nothing after it runs, nothing in memory
// survives.
struct Killed
{
};

// A GSM modem that refuses, answers late, times out, fails after the
// message went, or takes the workstation down with it.
class SimSms final : public SmsService
{
    Q_OBJECT
public:
    SimSms(World& world, Engine& engine) : m_world(world), m_engine(engine) {}
    void send(const SmsRequest& request, const QString& sendId) override;
    int sendTimeoutMinutes() override { return 1; }
    SmsOutcome outcome(const QString& sendId) override { return m_outcomes.value(sendId); }
    void finish() override {}

private:
    World& m_world;
    Engine& m_engine;
    QHash<QString, SmsOutcome> m_outcomes;
};

class SimMail final : public MailSender
{
    Q_OBJECT
public:
    explicit SimMail(World& world) : m_world(world) {}

private:
    World& m_world;
};

// One running console or station: its own connection, services and start.
struct Engine
{
    Engine(World& world, const Workstation& self);
    ~Engine();

    Workstation self;
    ConnectorPtr conn;
    std::unique_ptr<SimSms> sms;
    std::unique_ptr<SimMail> mail;
    std::unique_ptr<Heartbeat> heartbeat;
    std::unique_ptr<Console> console;
    bool dead = false;
    qint64 nextTick = 0;   // when its minute timer fires next, before lateness
    qint64 lateUntil = 0;  // its event loop is blocked until then
    qint64 mannedSince = 0;
    bool isConsole() const { return self.soort == Workstation::consoleKind(); }
};

// An SMS as a phone received it.
struct Received
{
    qint64 dispatch = 0;
    qint64 at = 0;      // seconds on the shared clock
    bool ghost = false; // went out, but its sender was told otherwise or died before writing it down
};

struct Acknowledged
{
    qint64 dispatch = 0;
    qint64 at = 0;
    qint64 type = 0, by = 0;
    int allowed = 0; // sends it may still get: the one in flight, or an operator's first
};

struct Switch
{
    QString console;
    qint64 at = 0, mannedSince = 0;
};

// Two to four workstations on one database in one process, one fake clock
// moved in random steps, timers that fire in random order and late,
// services that misbehave, workstations killed and started again, replies,
// acknowledgements, bulk closes, schedule changes and manned switches.
// run() plays one seeded room and returns what went wrong, in words.
class World
{
public:
    World(const TestDatabase& db, const QString& logFolder);
    ~World();

    // Empty when every rule held.
    QStringList run(quint32 seed);
    int dispatchesSeen() const { return m_dispatchesSeen; }

    // For the fakes.
    QRandomGenerator& rng() { return m_rng; }
    FakeClock& clock() { return m_clock; }
    qint64 now() const { return m_clock.now().toSecsSinceEpoch(); }
    bool quiet() const { return m_quiet; }
    void received(const Engine& sender, bool ghost);
    void failed(const Engine& sender);
    // Others' steps while one workstation waits for its modem.
    void waitWhileOthersWork(const Engine& waiting, int seconds);

private:
    qint64 sending(const Engine& sender) const;
    void prepareRoom();
    void startEngine(const QString& naam, const QString& soort);
    void replaceDead();
    void step(Engine& e, int what);
    void tick(Engine& e);
    void pass(Engine& e);
    void randomEvent();
    void newReport();
    void acknowledge(int how);
    void checkIn();
    void changeSchedule();
    void toggleManned();
    void advance(qint64 seconds);
    void quietPhase();
    QStringList check() const;
    qint64 number(const QString& sql, const QVariantList& binds = {}) const;
    QString when(qint64 secs) const;

    const TestDatabase& m_db;
    ConnectorPtr m_conn; // the test's own look at the room
    QString m_logFolder;
    QRandomGenerator m_rng;
    FakeClock m_clock;
    std::unique_ptr<EventLog> m_log;
    std::vector<std::unique_ptr<Engine>> m_engines;
    int m_depth = 0;
    bool m_quiet = false;
    qint64 m_start = 0, m_quietFrom = 0;
    int m_maxAttempts = 3;
    QList<qint64> m_points;
    QHash<qint64, QList<qint64>> m_checkIns; // point -> check-in moments
    QHash<qint64, QList<Received>> m_received;
    QHash<qint64, QList<qint64>> m_failed; // dispatch -> moments a send of it failed
    QList<Received> m_strays; // sent without a claim of the sender
    QList<Acknowledged> m_acks;
    QList<Switch> m_switches;
    QList<qint64> m_scheduleChanges;
    QList<std::pair<qint64, QString>> m_scheduleHistory; // from when, which switch time
    QString m_switchTime;       // today's unmanned switch, "hh:mm"
    int m_kills = 0;
    int m_dispatchesSeen = 0;
    QStringList m_events; // what happened, for a readable failure
};

} // namespace sim
} // namespace taviro::test
