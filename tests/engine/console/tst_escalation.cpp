// Escalation as the room's workstations run it from their minute ticks: an
// unmanned alarm nobody acknowledged goes, once, to whoever is on duty in the
// escalation schedule, then by e-mail to the copy addresses; an
// acknowledgement of any kind before the moment stops it; bad settings are
// said once and never cost the alarm its ordinary road.

#include "ConsoleFixture.h"
#include "EscalationSettings.h"
#include "PendingDispatches.h"
#include "ReportAcknowledgement.h"
#include "ReportDetail.h"
#include "Repositories.h"

#include <QTest>

#include <atomic>
#include <thread>

using namespace taviro;

namespace {

// The alarm comes in at 10:15; escalation is set to this many minutes.
constexpr int kMinutes = 30;

} // namespace

class TstEscalation : public QObject
{
    Q_OBJECT

    struct Room : test::ConsoleFixture
    {
        qint64 piet = 0, escWeek = 0;
        // A second workstation on its own connection, with its own clock
        // set to the same moments.
        ConnectorPtr conn2 = db.connect();
        test::FakeClock clock2;
        EventLog log2{clock2, db.folder() + QStringLiteral("/Logger2/")};
        test::FakeSmsService sms2;
        test::FakeMailSender mail2;
        Console other{*conn2, clock2, log2, sms2, mail2};

        Room()
        {
            test::Installation inst(*conn);
            piet = inst.recipient(QStringLiteral("Piet Achterwacht"), QStringLiteral("+31634567890"), {}, true, false);
            WeekPlanning w = inst.weekTemplate(QStringLiteral("ACHTER"));
            for (int day = 0; day < 7; ++day)
                for (int block = 0; block < 3; ++block)
                    w.cells[WeekPlanning::cellIndex(0, day, block)] = piet;
            escWeek = inst.week(w);
            if (!inst.ok())
                qFatal("%s", qPrintable(inst.error()));
            escalate({kMinutes, escWeek, 0, false, false});
            if (!console.loadPlanningCache() || !other.loadPlanningCache())
                qFatal("schedule cache");
            other.setSmsSettleMsecs(0);
        }

        void escalate(const EscalationSettings& s)
        {
            if (!escalation::save(*conn, s))
                qFatal("escalation settings");
        }

        // `minutes` past the alarm.
        static QDateTime at(int minutes) { return QDateTime(QDate(2026, 12, 2), QTime(10, 15)).addSecs(60 * minutes); }

        // Both workstations' minute ticks at `minutes` past the alarm.
        void tickAt(int minutes)
        {
            clock.set(at(minutes));
            clock2.set(at(minutes));
            console.dispatchTick();
            other.dispatchTick();
            settle();
        }

        qint64 escalationDispatches(qint64 recipient)
        {
            return number(QStringLiteral("SELECT COUNT(*) FROM uitmeld INNER JOIN escalatieuitmeld ON "
                                         "escalatieuitmeld.uitmeld_id = uitmeld.id WHERE uitmeld.ontvanger_id = ?"),
                          {recipient});
        }
        qint64 keys(int level)
        {
            return number(QStringLiteral("SELECT COUNT(*) FROM escalatie WHERE niveau = ?"), {level});
        }
        // How often the first workstation's event log says `what`, over
        // the alarm's day and the next.
        int logged(const QString& what) const
        {
            int n = 0;
            for (int day : {0, 1}) {
                QFile f(log.fileFor(QDateTime(QDate(2026, 12, 2).addDays(day), QTime(12, 0))));
                if (f.open(QIODevice::ReadOnly))
                    n += int(QString::fromUtf8(f.readAll()).count(what));
            }
            return n;
        }
        QStringList smsTo(const QString& number) const
        {
            QStringList texts;
            for (const auto* s : {&sms, &sms2})
                for (const SmsRequest& r : s->sent)
                    if (r.mobileNumber == number)
                        texts << r.text;
            return texts;
        }
    };

private Q_SLOTS:
    void escalatesOnceUnlessAcknowledged_data()
    {
        QTest::addColumn<QString>("ack");    // how the alarm is acknowledged, if at all
        QTest::addColumn<int>("ackMinute");  // when
        QTest::addColumn<bool>("escalates");
        QTest::newRow("nobody answers") << QString() << 0 << true;
        QTest::newRow("console, a minute before") << QStringLiteral("console") << kMinutes - 1 << false;
        QTest::newRow("bulk close, a minute before") << QStringLiteral("bulk") << kMinutes - 1 << false;
        QTest::newRow("console, a minute after") << QStringLiteral("console") << kMinutes + 1 << true;
        // Staff arriving is no acknowledgement: the alarm still waits for one.
        QTest::newRow("room manned, nobody answers") << QStringLiteral("manned") << 1 << true;
    }
    void escalatesOnceUnlessAcknowledged()
    {
        QFETCH(QString, ack);
        QFETCH(int, ackMinute);
        QFETCH(bool, escalates);
        Room room;
        const qint64 melding = room.report({QStringLiteral("01")});
        room.console.showNewActueel();
        room.settle();
        QCOMPARE(room.smsTo(QStringLiteral("+31612345678")).size(), 1);

        auto acknowledge = [&] {
            if (ack == QLatin1String("console")) {
                QVERIFY(room.console.bevestigMelding(melding).ok());
            } else if (ack == QLatin1String("manned")) {
                room.console.setBemand(true);
                room.other.setBemand(true);
            } else if (ack == QLatin1String("bulk")) {
                QVERIFY(closeOpenDispatches(*room.conn, {melding}, {1, room.clock.now()}).ok());
                // Bulk close reaches only what is still open: the sent ones too.
                QVERIFY(room.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 3")) > 0);
            }
        };
        for (int minute : {1, kMinutes - 1, kMinutes, kMinutes + 1, 2 * kMinutes + 1}) {
            if (!ack.isEmpty() && minute >= ackMinute && minute - ackMinute < 2 &&
                room.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype <> 0")) == 0)
                acknowledge();
            room.tickAt(minute);
            if (minute < kMinutes)
                QCOMPARE(room.keys(1), 0);
        }
        QCOMPARE(room.keys(1), escalates ? 1 : 0);
        QCOMPARE(room.escalationDispatches(room.piet), escalates ? 1 : 0);
        QCOMPARE(room.logged(QStringLiteral("geëscaleerd naar Piet Achterwacht")), escalates ? 1 : 0);
        const QStringList toPiet = room.smsTo(QStringLiteral("+31634567890"));
        QCOMPARE(toPiet.size(), escalates ? 1 : 0);
        if (escalates)
            QVERIFY2(toPiet.first().startsWith(
                         QStringLiteral("ESCALATIE: niet bevestigd door Jan de Vries, Marieke Bakker\r")),
                     qPrintable(toPiet.first()));
        // No second level without the copy setting.
        QCOMPARE(room.keys(2), 0);
    }

    void badSettingsAreSaidOnce_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<QString>("schedule"); // "deleted", "empty", "gone", "none" or "ok"
        QTest::addColumn<int>("escalateMinute"); // 0: never
        QTest::addColumn<QString>("said");
        QTest::newRow("schedule deleted") << kMinutes << QStringLiteral("deleted") << kMinutes
                                          << QStringLiteral("escalatieweekrooster %1 is verwijderd");
        QTest::newRow("nobody on duty") << kMinutes << QStringLiteral("empty") << kMinutes
                                        << QStringLiteral("niemand van dienst in escalatieweekrooster %1");
        QTest::newRow("schedule gone") << kMinutes << QStringLiteral("gone") << kMinutes
                                       << QStringLiteral("escalatieweekrooster 987654 bestaat niet");
        QTest::newRow("no schedule chosen") << kMinutes << QStringLiteral("none") << kMinutes
                                            << QStringLiteral("er is geen escalatierooster ingesteld");
        QTest::newRow("a hundred thousand minutes") << 100000 << QStringLiteral("ok") << 1440
                                                    << QStringLiteral("EscalatieMinuten 100000 is meer dan een dag");
        QTest::newRow("off") << 0 << QStringLiteral("ok") << 0 << QString();
    }
    void badSettingsAreSaidOnce()
    {
        QFETCH(int, minutes);
        QFETCH(QString, schedule);
        QFETCH(int, escalateMinute);
        QFETCH(QString, said);
        Room room;
        qint64 week = room.escWeek;
        if (schedule == QLatin1String("deleted")) {
            QVERIFY(room.conn->exec(QStringLiteral("UPDATE weekplanningen SET deleted = ? WHERE id = ?"),
                                    {sql::boolValue(true), week}));
        } else if (schedule == QLatin1String("empty")) {
            test::Installation inst(*room.conn);
            week = inst.week(inst.weekTemplate(QStringLiteral("LEEG")));
        } else if (schedule == QLatin1String("gone")) {
            week = 987654;
        } else if (schedule == QLatin1String("none")) {
            week = 0;
        }
        room.escalate({minutes, week, 0, false, false});
        QVERIFY(room.console.loadPlanningCache());
        QVERIFY(room.other.loadPlanningCache());
        said = said.contains(QLatin1String("%1")) ? said.arg(week) : said;

        room.report({QStringLiteral("01")});
        room.console.showNewActueel();
        room.settle();
        for (int minute : {kMinutes - 1, kMinutes, kMinutes + 5, 1439, 1440, 1441})
            room.tickAt(minute);
        if (!said.isEmpty())
            QCOMPARE(room.logged(said), 1);
        QCOMPARE(room.keys(1), escalateMinute ? 1 : 0);
        // Whoever can be reached still got the alarm, and only once.
        QCOMPARE(room.smsTo(QStringLiteral("+31612345678")).size(), 1);
        QCOMPARE(room.escalationDispatches(room.piet), schedule == QLatin1String("ok") && escalateMinute ? 1 : 0);
        if (escalateMinute) {
            auto when = room.conn->scalar(QStringLiteral("SELECT besloten FROM escalatie WHERE niveau = 1"));
            QVERIFY(when.ok());
            QCOMPARE(sql::toDate(*when), Room::at(escalateMinute));
        }
    }

    void nobodyOnDutyEscalatesAtOnce()
    {
        Room room;
        // The transmitter's own schedule has nobody in today's cells.
        test::Installation inst(*room.conn);
        const qint64 empty = inst.week(inst.weekTemplate(QStringLiteral("LEEG")));
        const qint64 melder = inst.transmitter(QStringLiteral("2002"), QStringLiteral("Depot"), 1, empty, 0);
        inst.point(melder, QStringLiteral("07"), QStringLiteral("Brand magazijn"));
        QVERIFY(inst.ok());
        QVERIFY(room.console.loadPlanningCache());
        room.report({QStringLiteral("07")}, QStringLiteral("2002"));
        room.console.showNewActueel();
        room.settle();
        QCOMPARE(room.keys(1), 1);
        const QStringList toPiet = room.smsTo(QStringLiteral("+31634567890"));
        QCOMPARE(toPiet.size(), 1);
        QVERIFY(toPiet.first().startsWith(QStringLiteral("ESCALATIE: niemand van dienst\r")));
        QVERIFY(toPiet.first().contains(QStringLiteral("Brand magazijn")));
        room.tickAt(kMinutes + 1);
        QCOMPARE(room.keys(1), 1);
        QCOMPARE(room.smsTo(QStringLiteral("+31634567890")).size(), 1);
    }

    void copyLevel_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("acknowledgedFirst");
        QTest::addColumn<int>("mails");
        QTest::newRow("to the copy address") << QStringLiteral("meldkamer@example.nl") << false << 1;
        QTest::newRow("acknowledged before") << QStringLiteral("meldkamer@example.nl") << true << 0;
        QTest::newRow("no address") << QStringLiteral(" \r\n") << false << 0;
    }
    void copyLevel()
    {
        QFETCH(QString, address);
        QFETCH(bool, acknowledgedFirst);
        QFETCH(int, mails);
        Room room;
        test::Installation(*room.conn).settings([&](Settings& s) { s.OnbemandeMeldingEmail = address; });
        room.escalate({kMinutes, room.escWeek, 0, true, false});
        const qint64 melding = room.report({QStringLiteral("01")});
        room.console.showNewActueel();
        room.settle();
        room.tickAt(kMinutes);
        QCOMPARE(room.keys(1), 1);
        const auto copies = [&] {
            int n = 0;
            for (const outbox::OutboxRow& mail : room.mails())
                n += mail.body.startsWith(QStringLiteral("ESCALATIE: niet bevestigd door")) &&
                     mail.address == address.trimmed();
            return n;
        };
        const int before = copies(); // the intake's own unmanned copy is not one
        if (acknowledgedFirst)
            QVERIFY(room.console.bevestigMelding(melding).ok());
        for (int minute : {2 * kMinutes - 1, 2 * kMinutes, 2 * kMinutes + 1, 3 * kMinutes})
            room.tickAt(minute);
        QCOMPARE(copies() - before, mails);
        QCOMPARE(room.keys(2), acknowledgedFirst ? 0 : 1);
        if (address.trimmed().isEmpty())
            QCOMPARE(room.logged(QStringLiteral("er is geen kopie-e-mailadres ingevuld")), 1);
    }

    // Jan answers; Marieke, who was told too, hears who did, once, and is
    // not asked to answer that; Jan is not told his own answer.
    void noticeOfTheAcknowledgement_data()
    {
        QTest::addColumn<bool>("noticeOn");
        QTest::newRow("notice on") << true;
        QTest::newRow("notice off") << false;
    }
    void noticeOfTheAcknowledgement()
    {
        QFETCH(bool, noticeOn);
        Room room;
        room.escalate({kMinutes, room.escWeek, 0, false, noticeOn});
        const qint64 melding = room.report({QStringLiteral("01")});
        room.console.showNewActueel();
        room.settle();
        // As Jan's "OK" settles the report with escalation on: every dispatch.
        QVERIFY(room.conn->exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = 2, bevestiger = ?, bevestigdate = ? "
                                               "WHERE ontvanger_id <> 0"),
                                {room.jan, sql::dateValue(room.clock.now(), room.conn->dialect())}));
        room.tickAt(1);
        room.tickAt(2);
        room.console.quarterHourTick();
        room.other.quarterHourTick();
        room.settle();
        room.tickAt(3);
        const QStringList toMarieke = room.smsTo(QStringLiteral("+31623456789"));
        const QStringList toJan = room.smsTo(QStringLiteral("+31612345678"));
        QCOMPARE(toJan.size(), 1);
        QCOMPARE(toMarieke.size(), noticeOn ? 2 : 1);
        if (noticeOn)
            QCOMPARE(toMarieke.last(), QStringLiteral("Melding %1 (Kantoor Centrum) bevestigd door Jan de Vries").arg(melding));
        QCOMPARE(room.keys(3), noticeOn ? 1 : 0);
        QCOMPARE(room.keys(1), 0);
    }

    // The operator acknowledges at the console while a workstation is in
    // the middle of escalating (its escalation dispatch written, not yet
    // committed): the acknowledgement waits for the decision and then settles
    // the escalation dispatch too, so Piet is not asked again and again.
    void acknowledgementDuringTheDecision_data()
    {
        QTest::addColumn<bool>("bulk");
        QTest::newRow("acknowledged") << false;
        QTest::newRow("closed in bulk") << true;
    }
    void acknowledgementDuringTheDecision()
    {
        QFETCH(bool, bulk);
        Room room;
        if (!room.db.onPostgres())
            QSKIP("SQLite lets one write transaction at a time; the two cannot meet");
        const qint64 melding = room.report({QStringLiteral("01")});
        room.console.showNewActueel();
        room.settle();
        room.tickAt(kMinutes - 1);
        // The escalation's second write is slowed down, so the console's
        // acknowledgement comes in between its writes.
        QVERIFY(room.conn->exec(QStringLiteral(
            "CREATE FUNCTION traag() RETURNS trigger AS $$ BEGIN PERFORM pg_sleep(1.5); RETURN NEW; END $$ "
            "LANGUAGE plpgsql")));
        QVERIFY(room.conn->exec(QStringLiteral(
            "CREATE TRIGGER traag BEFORE INSERT ON escalatieuitmeld FOR EACH ROW EXECUTE FUNCTION traag()")));
        std::atomic<bool> acknowledged{false};
        std::thread operatorAtConsole([&] {
            auto c = room.db.connect();
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            acknowledged = bulk ? closeOpenDispatches(*c, {melding}, {1, room.clock.now()}).ok()
                                : acknowledgeAtConsole(*c, melding, 1, room.clock.now()).ok();
        });
        room.clock.set(Room::at(kMinutes));
        room.console.dispatchTick();
        operatorAtConsole.join();
        QVERIFY(acknowledged);
        QCOMPARE(room.keys(1), 1);
        QCOMPARE(room.escalationDispatches(room.piet), 1);
        QCOMPARE(room.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id <> 0 AND bevestigtype = 0")),
                 0);
        // Later quarters do not repeat the escalation SMS.
        const int toPiet = int(room.smsTo(QStringLiteral("+31634567890")).size());
        room.console.quarterHourTick();
        room.settle();
        room.tickAt(kMinutes + 16);
        QCOMPARE(room.smsTo(QStringLiteral("+31634567890")).size(), toPiet);
    }

    void shownAsEscalation()
    {
        Room room;
        // Piet's modem refuses, so his escalation stays open in the list.
        room.sms.refusedNumbers << QStringLiteral("+31634567890");
        room.sms2.refusedNumbers << QStringLiteral("+31634567890");
        const qint64 melding = room.report({QStringLiteral("01")});
        room.console.showNewActueel();
        room.settle();
        auto open = listOpenMeldingen(*room.conn);
        QVERIFY(open.ok());
        QVERIFY(open->isEmpty());
        room.tickAt(kMinutes);
        open = listOpenMeldingen(*room.conn);
        QVERIFY(open.ok());
        QCOMPARE(open->size(), 1);
        QVERIFY(open->first().escalated);

        auto detail = loadMeldingDetail(*room.conn, melding);
        QVERIFY(detail.ok());
        QStringList states;
        for (const DispatchState& d : detail->lines.first().dispatches)
            states << d.ontvanger + QStringLiteral(": ") + d.stateText();
        QCOMPARE(states, QStringList({QStringLiteral("Jan de Vries: SMS verzonden (1x), e-mail in wachtrij"),
                                      QStringLiteral("Marieke Bakker: SMS verzonden (1x)"),
                                      QStringLiteral("Piet Achterwacht: Escalatie: Wacht op verzending")}));
    }
};

QTEST_GUILESS_MAIN(TstEscalation)
#include "tst_escalation.moc"
