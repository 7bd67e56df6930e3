#include "Delivery.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "MessageComposer.h"
#include "OutboxMails.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <random>

using namespace taviro;

namespace {

// One recipient as a case draws him.
struct Person
{
    bool exists = true, deleted = false, sms = false, mail = false;
    bool number = true, address = true, smsFails = false;
    qint64 id = 0;

    bool reachable() const { return exists && !deleted && (sms || mail); }
    bool smsGoes() const { return sms && number && !smsFails; }
    bool mailGoes() const { return mail && address; }
};

// One dispatch: to whom, and whether any of its lines exists.
struct Job
{
    int person = 0;
    bool hasLine = true;
    qint64 id = 0;
};

struct Sent
{
    int job;
    bool ok;
    int minute;
    int pass;
};

// The road as the SMS modem and the outbox see it: who was offered what,
// and whether it was taken. Every dispatch's text names its own point
// ("D<job>"), so a message tells which dispatch it belongs to.
struct Channels : SmsGateway
{
    QSet<QString> failingNumbers;
    QList<Sent> sms, mails;
    int minute = 0, pass = 0;
    qint64 lastMailRow = 0;

    static int jobOf(const QString& text)
    {
        static const QRegularExpression point(QStringLiteral("\\bD(\\d+)\\b"));
        const auto m = point.match(text);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    SmsAttempt sendSMS(const QString& nr, const QString&, const QString& text) override
    {
        const bool ok = !failingNumbers.contains(nr);
        sms.append({jobOf(text), ok, minute, pass});
        return {ok ? SmsAttempt::Result::Sent : SmsAttempt::Result::NotSent, {}, {}};
    }
    SmsAttempt settleSend(const QString&) override { return {}; }
    void abandonSend(const QString&) override {}
    // The mails a pass queued, counted to that pass.
    void readOutbox(const DatabaseConnector& conn)
    {
        for (const outbox::OutboxRow& m : test::outboxMails(conn))
            if (m.id > lastMailRow) {
                mails.append({jobOf(m.body), true, minute, pass});
                lastMailRow = m.id;
            }
    }
};

// Long enough for the growing pauses of 1, 2, 4 and 8 minutes; the longest,
// 15 minutes, is the delivery test's business.
constexpr int kMinutes = 16;

} // namespace

// Random recipients, some unreachable in every way there is, and random
// dispatches to them: whatever the mix, every dispatch that can go goes at
// the first minute, newest first, one per pass, none twice, and the ones that
// cannot go are counted nothing, said once and offered at growing pauses.
class TstDeliveryProperty : public QObject
{
    Q_OBJECT

    test::TestDatabase m_db;
    ConnectorPtr m_conn = m_db.connect();
    qint64 m_melder = 0, m_melding = 0;
    std::mt19937 m_rng;
    QString m_case;

    bool chance(double p) { return std::bernoulli_distribution(p)(m_rng); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }

    qint64 add(const QString& sql, const QVariantList& binds)
    {
        auto id = m_conn->insert(sql, binds);
        if (!id)
            qFatal("%s", qPrintable(id.error()));
        return *id;
    }

    void build(QList<Person>& people, QList<Job>& jobs)
    {
        for (const char* table : {"uitmeld", "uitmeldlink", "meldindex", "ontvangers", "alarmen", "uitmeldretry",
                                  "uitmeldclaim", "uitmeldmail", "mailwachtrij"})
            QVERIFY(m_conn->exec(QStringLiteral("DELETE FROM ") + QLatin1String(table)));
        for (int i = 0; i < people.size(); ++i) {
            Person& p = people[i];
            if (!p.exists) {
                p.id = 900000 + i;
                continue;
            }
            p.id = add(QStringLiteral("INSERT INTO ontvangers (naam, mobielnr, email, UseSMS, UseEmail, deleted) "
                                      "VALUES (?, ?, ?, ?, ?, ?)"),
                       {QStringLiteral("P%1").arg(i),
                        sql::textValue(p.number ? QStringLiteral("+316%1").arg(i) : QString()),
                        sql::textValue(p.address ? QStringLiteral("p%1@example.nl").arg(i) : QStringLiteral(" ")),
                        sql::boolValue(p.sms), sql::boolValue(p.mail), sql::boolValue(p.deleted)});
        }
        for (int j = 0; j < jobs.size(); ++j) {
            Job& job = jobs[j];
            const qint64 alarm = add(QStringLiteral("INSERT INTO alarmen (melder_id, functie, omschrijving) "
                                                    "VALUES (?, ?, 'punt')"),
                                     {m_melder, QStringLiteral("D%1").arg(j)});
            job.id = add(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen) "
                                        "VALUES (?, 0, ?, 0)"),
                         {people[job.person].id, sql::boolValue(false)});
            const qint64 line = add(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, "
                                                   "uitmeld_id, flank, actief) VALUES (?, ?, ?, ?, 1, ?)"),
                                    {m_melding, m_melder, alarm, job.id, sql::boolValue(true)});
            // Without a line: no link at all, or one to a line that is gone.
            if (job.hasLine || chance(0.5))
                add(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, ?)"),
                    {job.id, job.hasLine ? line : line + 1000000});
        }
    }

    QString describe(const QList<Person>& people, const QList<Job>& jobs) const
    {
        QStringList out;
        for (int i = 0; i < people.size(); ++i) {
            const Person& p = people[i];
            QStringList flags{QStringLiteral("P%1:").arg(i)};
            const std::pair<bool, const char*> all[] = {
                {!p.exists, "missing"},  {p.deleted, "deleted"},       {p.sms, "sms"},
                {p.mail, "mail"},        {!p.number, "no-number"},     {!p.address, "no-address"},
                {p.smsFails, "sms-fails"}};
            for (const auto& [on, name] : all)
                if (on)
                    flags << QLatin1String(name);
            out << flags.join(QLatin1Char(' '));
        }
        for (int j = 0; j < jobs.size(); ++j)
            out << QStringLiteral("D%1(id %2)->P%3%4")
                       .arg(j)
                       .arg(jobs[j].id)
                       .arg(jobs[j].person)
                       .arg(jobs[j].hasLine ? QString() : QStringLiteral(" no-line"));
        return out.join(QStringLiteral("; "));
    }

    qint64 number(const QString& sql, qint64 id) const
    {
        auto v = m_conn->scalar(sql, {id});
        return v ? sql::toLong(*v) : -1;
    }

    // One case; on a failure m_case tells what it was.
    void runCase(int index)
    {
        QList<Person> people(between(1, 6));
        for (Person& p : people) {
            p.exists = !chance(0.05);
            p.deleted = chance(0.1);
            p.sms = chance(0.6);
            p.mail = chance(0.5);
            p.number = !chance(0.2);
            p.address = !chance(0.2);
            p.smsFails = chance(0.15);
        }
        QList<Job> jobs(between(1, 10));
        for (Job& j : jobs) {
            j.person = between(0, int(people.size()) - 1);
            j.hasLine = !chance(0.05);
        }
        build(people, jobs);
        m_case = QStringLiteral("case %1: %2").arg(index).arg(describe(people, jobs));

        Channels channels;
        for (int i = 0; i < people.size(); ++i) {
            if (people[i].smsFails)
                channels.failingNumbers.insert(QStringLiteral("+316%1").arg(i));
        }
        test::FakeClock clock(QDateTime(QDate(2026, 12, 2), QTime(10, 0)));
        EventLog log(clock, m_db.folder() + QStringLiteral("/Logger/"));
        int said = 0;
        connect(&log, &EventLog::screenLine, this, [&said] { ++said; });
        MessageComposer composer(*m_conn);
        Delivery delivery(*m_conn, clock, log, composer, channels);

        int pass = 0;
        for (int minute = 0; minute < kMinutes; ++minute) {
            clock.set(QDateTime(QDate(2026, 12, 2), QTime(10, minute)));
            channels.minute = minute;
            // As the console does: a pass that asks for more gets it at once.
            int chained = 0;
            bool more = false;
            do {
                channels.pass = ++pass;
                QVERIFY2(++chained < 100, "the passes never stop asking for another");
                more = delivery.deliverNextDispatch();
                channels.readOutbox(*m_conn);
            } while (more);
        }

        int expectedSaid = 0;
        QList<int> deliveredOrder; // jobs in the order their message went at minute 0
        QHash<int, int> deliveredInPass;
        for (const QList<Sent>* list : {&channels.sms, &channels.mails})
            for (const Sent& s : *list) {
                QVERIFY2(s.job >= 0 && s.job < jobs.size(), "a message that names no dispatch");
                if (!s.ok)
                    continue;
                const int other = deliveredInPass.value(s.pass, s.job);
                QVERIFY2(other == s.job, "two dispatches delivered in one pass");
                deliveredInPass.insert(s.pass, s.job);
            }
        for (int j = 0; j < jobs.size(); ++j) {
            const Job& job = jobs[j];
            const Person& p = people[job.person];
            const bool tried = job.hasLine && p.reachable();
            auto count = [&](const QList<Sent>& list, bool ok) {
                return std::count_if(list.cbegin(), list.cend(), [&](const Sent& s) { return s.job == j && s.ok == ok; });
            };
            const qsizetype smsOk = count(channels.sms, true), smsFailed = count(channels.sms, false);
            const qsizetype mailOk = count(channels.mails, true);
            const bool smsGoes = tried && p.smsGoes();
            const bool mailGoes = tried && p.mailGoes();
            QCOMPARE(smsOk, qsizetype(smsGoes));
            QCOMPARE(mailOk, qsizetype(mailGoes));
            // Refused at 0, 1, 3, 7 and 15 minutes, never more often.
            QCOMPARE(smsFailed, qsizetype(tried && p.sms && p.number && p.smsFails ? 5 : 0));
            for (const Sent& s : channels.sms)
                if (s.job == j && s.ok)
                    QCOMPARE(s.minute, 0); // nothing made it wait
            for (const Sent& s : channels.mails)
                if (s.job == j && s.ok && !p.sms)
                    QCOMPARE(s.minute, 0);

            const bool finished = smsGoes || (tried && !p.sms && p.mail && (mailGoes || !p.address));
            const qint64 type = smsGoes ? 1 : (tried && p.mail && (mailGoes || !p.address)) ? 2 : 0;
            QCOMPARE(number(QStringLiteral("SELECT done FROM uitmeld WHERE id = ?"), job.id), qint64(finished));
            QCOMPARE(number(QStringLiteral("SELECT pogingen FROM uitmeld WHERE id = ?"), job.id), qint64(smsOk));
            QCOMPARE(number(QStringLiteral("SELECT uitmeldtype FROM uitmeld WHERE id = ?"), job.id), type);

            if (job.hasLine) {
                expectedSaid += !p.reachable() ? 1 : 0;
                expectedSaid += tried && p.mail && !p.address ? 1 : 0;
                expectedSaid += tried && !finished ? 1 : 0;
            }
            if (smsGoes || (mailGoes && !p.sms))
                deliveredOrder << j;
        }
        QCOMPARE(said, expectedSaid);
        // Newest first: at minute 0 the dispatches went in falling order.
        QList<int> wentAt0;
        for (const QList<Sent>* list : {&channels.sms, &channels.mails})
            for (const Sent& s : *list)
                if (s.ok && s.minute == 0 && deliveredOrder.contains(s.job) && !wentAt0.contains(s.job))
                    wentAt0 << s.job;
        std::sort(wentAt0.begin(), wentAt0.end(), [&](int a, int b) {
            return deliveredInPass.key(a) < deliveredInPass.key(b);
        });
        for (int i = 1; i < wentAt0.size(); ++i)
            QVERIFY2(jobs[wentAt0[i - 1]].id > jobs[wentAt0[i]].id, "an older dispatch went before a newer one");
        QCOMPARE(wentAt0.size(), deliveredOrder.size());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_conn);
        // Thousands of cases on a file nobody else opens: no flushes, no file locks.
        if (!m_db.onPostgres()) {
            QVERIFY(m_conn->exec(QStringLiteral("PRAGMA synchronous=OFF")));
            QVERIFY(m_conn->scalar(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE")));
        }
        m_melder = add(QStringLiteral("INSERT INTO melders (alias, naam, actief) VALUES ('3003', 'Proef', ?)"),
                       {sql::boolValue(true)});
        m_melding = add(QStringLiteral("INSERT INTO meldingen (melding_date, seen) VALUES ('2026-12-02 10:00:00', ?)"),
                        {sql::boolValue(true)});
    }

    void everyDeliverableDispatchGoesOnceAndFirst()
    {
        const quint32 seed = qEnvironmentVariableIsSet("TAVIRO_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("TAVIRO_SEED"))
                                 : std::random_device{}();
        const int cases = qEnvironmentVariableIsSet("TAVIRO_CASES") ? qEnvironmentVariableIntValue("TAVIRO_CASES")
                                                                     : 1000;
        m_rng.seed(seed);
        for (int i = 0; i < cases; ++i) {
            runCase(i);
            if (QTest::currentTestFailed()) {
                qWarning("TAVIRO_SEED=%u %s", seed, qPrintable(m_case));
                return;
            }
        }
        qInfo("%d cases, TAVIRO_SEED=%u", cases, seed);
    }
};

QTEST_GUILESS_MAIN(TstDeliveryProperty)
#include "tst_deliveryproperty.moc"
