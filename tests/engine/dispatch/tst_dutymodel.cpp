#include "DispatchCreator.h"
#include "DutyModel.h"
#include "EscalationDuty.h"
#include "FakeServices.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "MessageComposer.h"
#include "Repositories.h"
#include "ScheduleCache.h"
#include "SqlValues.h"
#include "TestDatabase.h"
#include "Transaction.h"

#include <QSqlQuery>
#include <QTest>

#include <random>
#include <set>

using namespace taviro;
namespace m = taviro::model;

// Random installations, reports and moments, each taken in by the engine's
// dispatch creation and by the plain model beside it; every report on which
// they differ fails the run with the case and the seed to repeat it
// (TAVIRO_DUTY_SEED).
class TstDutyModel : public QObject
{
    Q_OBJECT

    std::mt19937_64 m_rng;
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_rng); }

    static m::Clock clockOf(const QDateTime& t) { return {t.time().hour(), t.time().minute()}; }
    static std::chrono::sys_days dayOf(const QDate& d)
    {
        using namespace std::chrono;
        return sys_days(year_month_day(year(d.year()), month(unsigned(d.month())), day(unsigned(d.day()))));
    }

    QString timeText(int minute)
    {
        if (minute == 24 * 60)
            return chance(0.8) ? QStringLiteral("24:00") : QStringLiteral("24:00:00");
        const int h = minute / 60, mi = minute % 60;
        QString t;
        switch (pick(0, 4)) {
        case 0:
            t = QStringLiteral("%1:%2").arg(h).arg(mi, 2, 10, QLatin1Char('0'));
            break;
        case 1:
            t = QStringLiteral("%1:%2")
                    .arg(h, 2, 10, QLatin1Char('0'))
                    .arg(mi, 2, 10, QLatin1Char('0'));
            break;
        case 2:
            t = QStringLiteral("%1:%2").arg(h).arg(mi);
            break;
        case 3:
            t = QStringLiteral("%1:%2:%3")
                    .arg(h, 2, 10, QLatin1Char('0'))
                    .arg(mi, 2, 10, QLatin1Char('0'))
                    .arg(pick(0, 59), 2, 10, QLatin1Char('0'));
            break;
        default:
            t = QStringLiteral(" %1:%2 ").arg(h).arg(mi, 2, 10, QLatin1Char('0'));
            break;
        }
        return t;
    }

    QString garbage()
    {
        static const char* const texts[] = {"abc",   "25:61", "",      "8",
                                            "24:30", "8.00",  "-1:00", "12:60"};
        return QString::fromLatin1(texts[pick(0, 7)]);
    }

    // Starts in order, "24:00" for blocks that never start, now and then an
    // unreadable one or one out of order as another program might store.
    std::array<QString, 3> blockStarts()
    {
        std::array<int, 3> t{pick(0, 12 * 60), 0, 24 * 60};
        t[1] = chance(0.2) ? 24 * 60 : pick(t[0], 24 * 60 - 1);
        t[2] = chance(0.5) ? 24 * 60 : pick(t[1], 24 * 60);
        if (chance(0.05))
            std::swap(t[0], t[1]);
        std::array<QString, 3> texts;
        for (int b = 0; b < 3; ++b)
            texts[b] = chance(0.04) ? garbage() : timeText(t[b]);
        return texts;
    }

    struct Round
    {
        m::World world;
        std::vector<std::vector<m::Line>> reports;
        QList<qint64> meldingIds;
        QDateTime now;
        QString eindtijd;
        std::vector<std::pair<int, int>> starts; // minutes some block starts at, for moments
    };

    static QString describe(const Round& r, const std::vector<m::Line>& lines)
    {
        QStringList text;
        text << QStringLiteral("now %1 (%2, ISO week %3), einddienst %4 \"%5\"")
                    .arg(r.now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                    .arg(r.now.date().dayOfWeek())
                    .arg(r.now.date().weekNumber())
                    .arg(r.world.einddienst)
                    .arg(r.eindtijd);
        for (const auto& [id, w] : r.world.weeks) {
            QStringList cells;
            for (int i = 0; i < 63; ++i)
                if (w.cells[i])
                    cells << QStringLiteral("%1=%2").arg(i).arg(w.cells[i]);
            text << QStringLiteral("week %1: starts \"%2\" \"%3\" \"%4\" rij2 %5 rij3 %6 cells %7")
                        .arg(id)
                        .arg(QString::fromStdString(w.starts[0]),
                             QString::fromStdString(w.starts[1]),
                             QString::fromStdString(w.starts[2]))
                        .arg(w.rij2)
                        .arg(w.rij3)
                        .arg(cells.join(QLatin1Char(' ')));
        }
        for (const auto& [id, y] : r.world.years)
            text << QStringLiteral("year %1: %2").arg(id).arg(joined(y.weeks));
        for (const m::Line& l : lines)
            text << QStringLiteral(
                        "line %1: bemand %2 mactief %3 aactief %4 24uurs %5 tolate %6 "
                        "indexactief %7 melder rule %8 week %9 year %10 point rule %11 rooster %12")
                        .arg(l.id)
                        .arg(l.bemand)
                        .arg(l.mactief)
                        .arg(l.aactief)
                        .arg(l.uurs24)
                        .arg(l.tolate)
                        .arg(l.indexactief)
                        .arg(l.melderRule)
                        .arg(l.weekmelder)
                        .arg(l.jaarmelder)
                        .arg(l.pointRule)
                        .arg(l.roosterId);
        return text.join(QLatin1Char('\n'));
    }

    template <class List> static QString joined(const List& ids, char sep = ',')
    {
        QStringList texts;
        for (auto id : ids)
            texts << QString::number(id);
        return texts.join(QLatin1Char(sep));
    }

    static QString show(const m::Outcome& o)
    {
        QStringList parts;
        for (const auto& [r, lines] : o.dispatches)
            parts << QStringLiteral("%1:[%2]").arg(r).arg(joined(lines));
        return QStringLiteral("dispatches %1; booked [%2]").arg(parts.join(QLatin1Char(' ')), joined(o.booked));
    }

    // A moment: across year ends, on Monday nights, near block starts, or anywhere.
    QDateTime moment(const Round& r)
    {
        const int year = pick(2020, 2033);
        QDate day;
        switch (pick(0, 3)) {
        case 0:
            day = QDate(year, 12, 24).addDays(pick(0, 15));
            break;
        case 1: {
            const QDate d(year, pick(1, 12), pick(1, 28));
            day = d.addDays(1 - d.dayOfWeek()); // that week's Monday
            break;
        }
        default:
            day = QDate(year, 1, 1).addDays(pick(0, 364));
            break;
        }
        int minute = pick(0, 24 * 60 - 1);
        if (!r.starts.empty() && chance(0.4)) {
            const auto& [start, _] = r.starts[size_t(pick(0, int(r.starts.size()) - 1))];
            minute = std::clamp(start + pick(-1, 1), 0, 24 * 60 - 1);
        } else if (chance(0.3)) {
            minute = pick(0, 8 * 60); // night, before most first blocks
        }
        return QDateTime(day, QTime(minute / 60, minute % 60, pick(0, 59)));
    }

    template <class Repo, class Row> qint64 add(const DatabaseConnector& c, const Row& row)
    {
        auto id = Repo(c).insert(row);
        if (!id)
            qFatal("insert failed: %s", qPrintable(id.error()));
        return *id;
    }

    Round buildRound(const DatabaseConnector& c)
    {
        Round r;
        std::vector<long> recipients;
        for (int i = 0; i < 6; ++i) {
            Ontvanger o;
            o.naam = QStringLiteral("Ontvanger %1").arg(i);
            o.deleted = chance(0.2);
            recipients.push_back(add<OntvangerRepository>(c, o));
        }
        recipients.push_back(999999); // a recipient row that is gone altogether
        std::vector<long> weeks;
        for (int i = 0; i < 4; ++i) {
            WeekPlanning w;
            w.alias = QStringLiteral("W%1").arg(i);
            const auto starts = blockStarts();
            w.time1 = starts[0];
            w.time2 = starts[1];
            w.time3 = starts[2];
            w.Rij2Actief = chance(0.6);
            w.Rij3Actief = w.Rij2Actief && chance(0.4);
            w.deleted = chance(0.1);
            for (int cell = 0; cell < 21; ++cell) {
                const int n = pick(0, 3);
                for (int p = 0; p < 3; ++p)
                    w.cells[21 * p + cell] =
                        p < n || chance(0.1) ? recipients[size_t(pick(0, 6))] : 0;
            }
            const qint64 id = add<WeekPlanningRepository>(c, w);
            weeks.push_back(id);
            m::Week& mw = r.world.weeks[id];
            for (int b = 0; b < 3; ++b) {
                mw.starts[b] = starts[b].toStdString();
                if (auto minute = m::minuteOf(mw.starts[b]))
                    r.starts.push_back({*minute, b});
            }
            mw.rij2 = w.Rij2Actief;
            mw.rij3 = w.Rij3Actief;
            std::copy(w.cells.begin(), w.cells.end(), mw.cells.begin());
        }
        auto someWeek = [&] {
            return chance(0.05) ? (chance(0.5) ? 0 : 888888) : weeks[size_t(pick(0, 3))];
        };
        std::vector<long> years;
        for (int i = 0; i < 2; ++i) {
            JaarPlanning y;
            y.alias = QStringLiteral("J%1").arg(i);
            for (int w = 0; w < 53; ++w)
                y.weeks[w] = someWeek();
            const qint64 id = add<JaarPlanningRepository>(c, y);
            years.push_back(id);
            std::copy(y.weeks.begin(), y.weeks.end(), r.world.years[id].weeks.begin());
        }
        auto someYear = [&] { return chance(0.05) ? 777777 : years[size_t(pick(0, 1))]; };

        struct PointInfo
        {
            qint64 melder, point;
            m::Line rules;
        };
        std::vector<PointInfo> points;
        for (int t = 0; t < 8; ++t) {
            Melder mel;
            mel.alias = QStringLiteral("%1").arg(t);
            mel.naam = mel.alias;
            mel.actief = chance(0.85);
            mel.uitmeld = t < 3 ? t : pick(0, 3); // every rule each round, and one unknown
            mel.weekmelder = someWeek();
            mel.jaarmelder = someYear();
            const qint64 melderId = add<MelderRepository>(c, mel);
            for (int rule = 0; rule < 5; ++rule) {
                Alarm a;
                a.melder_id = melderId;
                a.functie = QString::number(rule);
                a.actief = chance(0.85);
                a.uurs24 = chance(0.2);
                a.tolate = chance(0.5);
                a.uitmeldtype = rule; // 4: no rule this system knows
                a.rooster_id = rule == 2 ? someWeek() : rule == 3 ? someYear() : pick(0, 1);
                const qint64 pointId = add<AlarmRepository>(c, a);
                m::Line l{};
                l.mactief = mel.actief;
                l.aactief = a.actief;
                l.uurs24 = a.uurs24;
                l.tolate = a.tolate;
                l.melderRule = mel.uitmeld;
                l.pointRule = a.uitmeldtype;
                l.weekmelder = mel.weekmelder;
                l.jaarmelder = mel.jaarmelder;
                l.roosterId = a.rooster_id;
                points.push_back({melderId, pointId, l});
            }
        }

        r.world.einddienst = chance(0.3);
        r.eindtijd = chance(0.1) ? garbage() : timeText(pick(12 * 60, 24 * 60 - 1));
        r.world.eindtijd = r.eindtijd.toStdString();
        r.now = moment(r);

        for (int rep = 0; rep < kReportsPerRound; ++rep) {
            Melding mel;
            mel.melding_date = r.now;
            mel.bemand = chance(0.2);
            const qint64 meldingId = add<MeldingRepository>(c, mel);
            r.meldingIds.append(meldingId);
            std::vector<m::Line> lines;
            const int n = pick(1, 3);
            for (int i = 0; i < n; ++i) {
                const PointInfo& p = points[size_t(pick(0, int(points.size()) - 1))];
                MeldIndex line;
                line.melding_id = meldingId;
                line.melder_id = p.melder;
                line.alarm_id = p.point;
                line.flank = 1;
                line.actief = chance(0.8);
                line.uurs24 = chance(0.08); // a plain check-in: never forwarded nor booked
                line.date = r.now;
                const qint64 lineId = add<MeldIndexRepository>(c, line);
                if (line.uurs24)
                    continue;
                m::Line l = p.rules;
                l.id = lineId;
                l.indexactief = line.actief;
                l.bemand = mel.bemand;
                lines.push_back(l);
                m_combinations.insert({int(l.melderRule), int(l.pointRule)});
            }
            r.reports.push_back(lines);
        }
        return r;
    }

    // Rows of two numbers, the first the key; a failed read fails the run.
    static QMultiHash<qint64, qint64> pairs(const DatabaseConnector& c, const char* sqlText)
    {
        QMultiHash<qint64, qint64> out;
        auto q = c.query(QString::fromLatin1(sqlText));
        if (!q)
            qFatal("%s: %s", sqlText, qPrintable(q.error()));
        while (q->next())
            out.insert(sql::toLong(q->value(0)), sql::toLong(q->value(1)));
        q->finish();
        return out;
    }

    quint64 seedFromEnvironment(const char* what)
    {
        const QByteArray given = qgetenv("TAVIRO_DUTY_SEED");
        const quint64 seed = given.isEmpty() ? std::random_device{}() : given.toULongLong();
        m_rng.seed(seed);
        qInfo("%s seed %llu (repeat with TAVIRO_DUTY_SEED=%llu)", what, seed, seed);
        return seed;
    }

    // The engine's dispatch creation on a database of its own.
    struct Engine
    {
        test::TestDatabase db;
        ConnectorPtr conn = db.connect();
        test::FakeClock clock;
        EventLog log{clock, db.folder() + QStringLiteral("/Logger/")};
        MessageComposer composer{*conn};
        ScheduleCache cache;
        DispatchCreator creator{*conn, cache, composer, log};
    };

    static constexpr int kRounds = 400;
    static constexpr int kReportsPerRound = 25;
    std::set<std::pair<int, int>> m_combinations;

private Q_SLOTS:
    void engineAgreesWithModel()
    {
        const quint64 seed = seedFromEnvironment("duty model");
        Engine e;
        QVERIFY2(e.db.ok(), qPrintable(e.db.error()));
        ConnectorPtr& conn = e.conn;
        ScheduleCache& cache = e.cache;
        DispatchCreator& creator = e.creator;

        int compared = 0, withDispatches = 0, nights = 0, week53 = 0;
        for (int round = 0; round < kRounds; ++round) {
            // Each round is rolled back once read, so the next starts empty.
            Transaction tx(*conn);
            QVERIFY(tx.begin().ok());
            const Round r = buildRound(*conn);
            QVERIFY(cache.load(*conn).ok());
            CreationSettings st;
            st.einddienst = r.world.einddienst;
            st.eindtijd = r.eindtijd;
            auto created = creator.createDispatches(r.meldingIds, r.now, st);
            QVERIFY2(created, qPrintable(created.error()));
            QCOMPARE(created->size(), r.meldingIds.size());

            const QMultiHash<qint64, qint64> recipientOf = pairs(*conn, "SELECT id, ontvanger_id FROM uitmeld");
            const QMultiHash<qint64, qint64> links =
                pairs(*conn, "SELECT uitmeld_id, meldindex_id FROM uitmeldlink ORDER BY meldindex_id");
            const QMultiHash<qint64, qint64> lineDispatch = pairs(*conn, "SELECT id, uitmeld_id FROM meldindex");
            tx.rollback();
            // values() of a multi-hash runs newest first.
            auto linesOf = [&links](qint64 dispatch) {
                QList<qint64> lines = links.values(dispatch);
                std::reverse(lines.begin(), lines.end());
                return lines;
            };

            const std::chrono::sys_days today = dayOf(r.now.date());
            const m::Clock now = clockOf(r.now);
            week53 += m::isoWeek(today) == 53 || m::isoWeek(today - std::chrono::days(7)) == 53;
            for (size_t i = 0; i < r.reports.size(); ++i) {
                const m::Outcome expected = m::dispatchesFor(r.world, today, now, r.reports[i]);
                m::Outcome actual;
                const CreatedDispatches& made = (*created)[qsizetype(i)];
                for (qint64 id : made.dispatchIds) {
                    const QList<qint64> lines = linesOf(id);
                    actual.dispatches.push_back(
                        {long(recipientOf.value(id)), {lines.begin(), lines.end()}});
                }
                if (made.bookkeepingId) {
                    const QList<qint64> booked = linesOf(made.bookkeepingId);
                    actual.booked.assign(booked.begin(), booked.end());
                }
                m::Outcome sortedExpected = expected;
                for (auto& d : sortedExpected.dispatches)
                    std::sort(d.second.begin(), d.second.end());
                std::sort(sortedExpected.booked.begin(), sortedExpected.booked.end());
                bool same = show(sortedExpected) == show(actual);
                // Each line keeps the dispatch of its last recipient, or the bookkeeping one.
                for (const m::Line& l : r.reports[i]) {
                    qint64 want = 0;
                    for (size_t d = 0; d < expected.dispatches.size(); ++d)
                        for (long x : expected.dispatches[d].second)
                            if (x == l.id)
                                want = made.dispatchIds.value(qsizetype(d));
                    if (std::find(expected.booked.begin(), expected.booked.end(), l.id) !=
                        expected.booked.end())
                        want = made.bookkeepingId;
                    same = same && lineDispatch.value(l.id) == want;
                }
                if (!same)
                    QFAIL(qPrintable(
                        QStringLiteral(
                            "seed %1, round %2, report %3 differs\n%4\nmodel:  %5\nengine: %6")
                            .arg(seed)
                            .arg(round)
                            .arg(i)
                            .arg(describe(r, r.reports[i]), show(sortedExpected), show(actual))));
                ++compared;
                withDispatches += !expected.dispatches.empty();
                nights += now.hour < 8 && !expected.dispatches.empty();
            }
        }
        qInfo("%d reports compared, %d with dispatches, %d night duties, %d rounds near week 53",
              compared, withDispatches, nights, week53);
        QVERIFY(compared >= 10000);
        // The generator reaches what it is meant to reach.
        QVERIFY(withDispatches > compared / 10);
        QVERIFY(nights > 0);
        QVERIFY(week53 > 0);
        for (int melderRule = 0; melderRule <= 3; ++melderRule)
            for (int pointRule = 0; pointRule <= 4; ++pointRule)
                QVERIFY2(
                    m_combinations.count({melderRule, pointRule}),
                    qPrintable(
                        QStringLiteral("rules %1/%2 never drawn").arg(melderRule).arg(pointRule)));
    }

private:
    // What became of one report's escalation.
    struct Escalated
    {
        QDateTime at;
        std::vector<long> recipients;
        std::vector<long> lines;
        bool operator==(const Escalated&) const = default;
    };
    static QString show(const std::optional<Escalated>& e)
    {
        if (!e)
            return QStringLiteral("not escalated");
        return QStringLiteral("escalated at %1 to [%2] with lines [%3]")
            .arg(e->at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), joined(e->recipients), joined(e->lines));
    }

    void emptyTables(const DatabaseConnector& c)
    {
        Transaction tx(c);
        QVERIFY(tx.begin().ok());
        for (const char* t : {"meldingen", "meldindex", "uitmeld", "uitmeldlink", "escalatie", "escalatieuitmeld",
                              "melders", "alarmen", "ontvangers", "weekplanningen", "jaarplanningen"})
            QVERIFY(c.exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t))).ok());
        QVERIFY(tx.commit().ok());
    }

    static constexpr int kEscalationRounds = 40;

private Q_SLOTS:
    // The escalation of generated reports, by the engine's intake and its
    // minute ticks at moments around the set wait, against the model: who
    // is on duty in the escalation schedule at the moment it fires, nobody
    // on duty, a schedule gone or deleted, and acknowledgements before and
    // after the moment.
    void escalationAgreesWithModel()
    {
        const quint64 seed = seedFromEnvironment("escalation model");
        Engine e;
        QVERIFY2(e.db.ok(), qPrintable(e.db.error()));
        ConnectorPtr& conn = e.conn;
        ScheduleCache& cache = e.cache;
        DispatchCreator& creator = e.creator;
        EscalationDuty duty(*conn, cache, creator, e.composer, e.log);

        int compared = 0, atIntake = 0, timed = 0, acknowledgedFirst = 0, toNobody = 0;
        for (int round = 0; round < kEscalationRounds; ++round) {
            emptyTables(*conn);
            Transaction tx(*conn);
            QVERIFY(tx.begin().ok());
            const Round r = buildRound(*conn);
            m::EscalationSchedule esc;
            const auto weeks = r.world.weeks;
            const auto years = r.world.years;
            const int kind = pick(0, 9);
            if (kind < 5)
                esc.weekRef = std::next(weeks.begin(), pick(0, int(weeks.size()) - 1))->first;
            else if (kind < 8)
                esc.yearRef = std::next(years.begin(), pick(0, int(years.size()) - 1))->first;
            else if (kind == 8)
                esc.weekRef = 555555; // gone
            if (esc.weekRef != 0 && esc.weekRef != 555555)
                esc.deleted = sql::toBool(*conn->scalar(QStringLiteral("SELECT deleted FROM weekplanningen WHERE id = ?"),
                                                        {qint64(esc.weekRef)}));
            if (esc.yearRef != 0 && chance(0.15)) {
                QVERIFY(conn->exec(QStringLiteral("UPDATE jaarplanningen SET deleted = ? WHERE id = ?"),
                                   {sql::boolValue(true), qint64(esc.yearRef)}));
                esc.deleted = true;
            }
            const int minutes = pick(1, 90);
            QVERIFY(escalation::save(*conn, {minutes, esc.weekRef, esc.yearRef, false, false}).ok());
            QVERIFY(conn->exec(QStringLiteral("UPDATE settings SET einddienst = ?, eindtijd = ?"),
                               {sql::boolValue(r.world.einddienst), r.eindtijd}));
            QVERIFY(tx.commit().ok());
            QVERIFY(cache.load(*conn).ok());

            auto st = creator.readSettings();
            QVERIFY(st.ok());
            QCOMPARE(st->escalation.minutes, qint64(minutes));
            Transaction intake(*conn);
            QVERIFY(intake.begin().ok());
            auto created = creator.createDispatches(r.meldingIds, r.now, *st);
            QVERIFY2(created, qPrintable(created.error()));
            for (qsizetype i = 0; i < created->size(); ++i)
                QVERIFY(duty.escalateAtIntake(r.meldingIds[i], (*created)[i], r.now, *st).ok());
            QVERIFY(intake.commit().ok());
            duty.reportIntakeDecisions();

            // Acknowledgements at moments before and after the wait is over.
            std::map<qint64, QDateTime> ackAt;
            for (qint64 id : r.meldingIds)
                if (chance(0.4))
                    ackAt[id] = r.now.addSecs(pick(0, 2 * minutes * 60));
            std::set<QDateTime> runs;
            for (int d : {-61, -1, 0, 1, 60})
                runs.insert(r.now.addSecs(minutes * 60 + d));
            runs.insert(r.now.addSecs(pick(0, 3 * minutes * 60)));
            std::set<qint64> acknowledged;
            for (const QDateTime& t : runs) {
                for (const auto& [id, at] : ackAt)
                    if (at <= t && acknowledged.insert(id).second)
                        QVERIFY(conn->exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = 1, bevestiger = 1 WHERE id IN "
                                                          "(SELECT uitmeldlink.uitmeld_id FROM uitmeldlink INNER JOIN "
                                                          "meldindex ON meldindex.id = uitmeldlink.meldindex_id WHERE "
                                                          "meldindex.melding_id = ?)"),
                                           {id}));
                duty.run(t);
            }

            // The engine's escalations, by report.
            std::map<qint64, Escalated> engine;
            auto q = conn->query(QStringLiteral("SELECT melding_id, besloten FROM escalatie WHERE niveau = 1"));
            QVERIFY(q.ok());
            while (q->next())
                engine[sql::toLong(q->value(0))].at = sql::toDate(q->value(1));
            q = conn->query(QStringLiteral("SELECT escalatieuitmeld.melding_id, uitmeld.ontvanger_id, uitmeld.id FROM "
                                           "escalatieuitmeld INNER JOIN uitmeld ON uitmeld.id = escalatieuitmeld.uitmeld_id "
                                           "ORDER BY uitmeld.id"));
            QVERIFY(q.ok());
            std::vector<std::pair<qint64, qint64>> dispatches; // (report, dispatch)
            while (q->next()) {
                engine[sql::toLong(q->value(0))].recipients.push_back(sql::toLong(q->value(1)));
                dispatches.push_back({sql::toLong(q->value(0)), sql::toLong(q->value(2))});
            }
            for (const auto& [report, dispatch] : dispatches) {
                std::vector<long> lines;
                auto l = conn->query(QStringLiteral("SELECT meldindex_id FROM uitmeldlink WHERE uitmeld_id = ? ORDER BY "
                                                    "meldindex_id"),
                                     {dispatch});
                QVERIFY(l.ok());
                while (l->next())
                    lines.push_back(sql::toLong(l->value(0)));
                engine[report].lines = lines; // the same for each of the report's escalation dispatches
            }
            q->finish();

            for (size_t i = 0; i < r.reports.size(); ++i) {
                const qint64 id = r.meldingIds[qsizetype(i)];
                const m::Outcome o = m::dispatchesFor(r.world, dayOf(r.now.date()), clockOf(r.now), r.reports[i]);
                std::vector<long> told;
                for (const auto& d : o.dispatches)
                    told.push_back(d.first);
                std::optional<Escalated> expected;
                if (!o.unreached.empty()) {
                    expected = Escalated{r.now, m::escalationRecipients(r.world, dayOf(r.now.date()), clockOf(r.now), esc, told),
                                         o.forward};
                    ++atIntake;
                } else if (!o.dispatches.empty()) {
                    for (const QDateTime& t : runs) {
                        if (r.now.secsTo(t) < minutes * 60)
                            continue;
                        if (ackAt.count(id) && ackAt[id] <= t) {
                            ++acknowledgedFirst;
                            break;
                        }
                        expected = Escalated{t, m::escalationRecipients(r.world, dayOf(t.date()), clockOf(t), esc, told),
                                             o.forward};
                        ++timed;
                        break;
                    }
                }
                if (expected && expected->recipients.empty()) {
                    expected->lines.clear();
                    ++toNobody;
                }
                std::optional<Escalated> actual;
                if (engine.count(id)) {
                    actual = engine[id];
                    std::sort(actual->recipients.begin(), actual->recipients.end());
                }
                if (expected)
                    std::sort(expected->recipients.begin(), expected->recipients.end());
                if (!(expected == actual))
                    QFAIL(qPrintable(QStringLiteral("seed %1, round %2, report %3 differs (escalation %4 week %5 year %6 "
                                                    "deleted %7, taken in %8)\n%9\nmodel:  %10\nengine: %11")
                                         .arg(seed)
                                         .arg(round)
                                         .arg(i)
                                         .arg(minutes)
                                         .arg(esc.weekRef)
                                         .arg(esc.yearRef)
                                         .arg(esc.deleted)
                                         .arg(r.now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                              describe(r, r.reports[i]), show(expected), show(actual))));
                ++compared;
            }
        }
        qInfo("%d reports compared: %d escalated at intake, %d after the wait, %d acknowledged first, %d to nobody",
              compared, atIntake, timed, acknowledgedFirst, toNobody);
        QVERIFY(atIntake > 0);
        QVERIFY(timed > 0);
        QVERIFY(acknowledgedFirst > 0);
        QVERIFY(toNobody > 0);
    }
};

QTEST_GUILESS_MAIN(TstDutyModel)
#include "tst_dutymodel.moc"
