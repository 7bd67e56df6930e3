#include "ConsoleFixture.h"
#include "DispatchClaims.h"
#include "Rows.h"
#include "Workstation.h"

#include <QTest>

using namespace taviro;

// A station that claims a dispatch and then dies, or loses the server, must
// not leave the dispatch done but unsent: someone sends it, once.
class TstClaims : public QObject
{
    Q_OBJECT

    static qint64 janDispatch(test::ConsoleFixture& f)
    {
        return f.number(QStringLiteral("SELECT id FROM uitmeld WHERE ontvanger_id = ?"), {f.jan});
    }

    // A report taken in while the SMS service refuses, so both dispatches
    // stay pending and nothing has been sent yet.
    static void pendingReport(test::ConsoleFixture& f)
    {
        f.report({QStringLiteral("01")});
        f.console.setShuttingDown(true); // no sending while the report comes in
        f.console.showNewActueel();
        f.console.setShuttingDown(false);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"),
                          {sql::boolValue(false)}),
                 2);
    }

    static void drain(test::ConsoleFixture& f)
    {
        for (int i = 0; i < 10; ++i)
            f.console.deliverNextDispatch();
        f.settle();
    }

    static Workstation station(const QString& naam, const QString& startId = QStringLiteral("start-1"))
    {
        return {naam, Workstation::stationKind(), startId};
    }

    static qsizetype smsTo(const test::ConsoleFixture& f, const QString& number)
    {
        return std::count_if(f.sms.sent.cbegin(), f.sms.sent.cend(),
                             [&](const SmsRequest& r) { return r.mobileNumber == number; });
    }

private Q_SLOTS:
    // Whose claim it is and whether its lease ran out decide whether the
    // dispatch is offered again; Jan's SMS must go exactly when it is.
    void leftClaimIsOfferedAgain_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("soort");
        QTest::addColumn<int>("lease");
        QTest::addColumn<bool>("startedAgain"); // its row in werkplek names a newer start
        QTest::addColumn<int>("janSms");
        QTest::addColumn<bool>("mailRecorded"); // it died between Jan's e-mail and his SMS
        const QString here = defaultStationName();
        const QString station = Workstation::stationKind();
        const QString console = Workstation::consoleKind();
        QTest::newRow("another station, lease ran out") << "kapot-station" << station << -5 << false << 1 << false;
        QTest::newRow("another station, still alive") << "levend-station" << station << 180 << false << 0 << false;
        QTest::newRow("another station, started again since")
            << "herstart-station" << station << 180 << true << 1 << false;
        QTest::newRow("this console before a restart") << here << console << 180 << false << 1 << false;
        QTest::newRow("the live station beside this console") << here << station << 180 << false << 0 << false;
        QTest::newRow("died after the e-mail: only the SMS") << "kapot-station" << station << -5 << false << 1 << true;
    }
    void leftClaimIsOfferedAgain()
    {
        QFETCH(QString, station);
        QFETCH(QString, soort);
        QFETCH(int, lease);
        QFETCH(bool, startedAgain);
        QFETCH(int, janSms);
        QFETCH(bool, mailRecorded);
        test::ConsoleFixture f;
        pendingReport(f);
        const qint64 dispatch = janDispatch(f);
        DispatchClaims died(*f.conn, f.clock, f.log, {station, soort, QStringLiteral("oude-start")});
        died.setLeaseSeconds(lease);
        if (startedAgain)
            QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO werkplek (naam, soort, startid) VALUES (?, ?, ?)"),
                                 {station, soort, QStringLiteral("nieuwe-start")}));
        QVERIFY(died.claim(dispatch).has_value());
        if (mailRecorded)
            died.record(dispatch, DispatchClaims::Outcome::EmailSentKeepSms);

        // A console started now: its first pass and its minute tick.
        test::FakeSmsService sms;
        test::FakeMailSender mail;
        Console later(*f.conn, f.clock, f.log, sms, mail);
        later.setSmsSettleMsecs(0);
        QVERIFY(later.loadPlanningCache());
        later.dispatchTick();
        for (int i = 0; i < 10; ++i)
            later.deliverNextDispatch();
        f.settle();

        const qsizetype toJan =
            std::count_if(sms.sent.cbegin(), sms.sent.cend(), [](const SmsRequest& r) {
                return r.mobileNumber == QStringLiteral("+31612345678");
            });
        QCOMPARE(toJan, qsizetype(janSms));
        QCOMPARE(f.mails().size(), janSms && !mailRecorded ? 1 : 0);
        QCOMPARE(f.number(QStringLiteral("SELECT pogingen FROM uitmeld WHERE id = ?"), {dispatch}),
                 qint64(janSms));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), janSms ? 0 : 1);
        QCOMPARE(f.logText().contains(QStringLiteral("Uitmelding %1 was door station %2 geclaimd")
                                          .arg(dispatch)
                                          .arg(station)),
                 janSms == 1);
    }

    // The SMS went out but the database would not record it: the outcome is
    // written once the database takes it again, and the SMS is not repeated.
    void sentButUnrecordedIsWrittenLaterNotResent()
    {
        test::ConsoleFixture f;
        pendingReport(f);
        const QString refuse =
            f.db.onPostgres()
                ? QStringLiteral("CREATE FUNCTION weiger() RETURNS trigger AS $$ BEGIN RAISE "
                                 "EXCEPTION 'weigert'; END $$ LANGUAGE plpgsql; CREATE TRIGGER "
                                 "weiger BEFORE UPDATE ON uitmeld FOR EACH ROW WHEN "
                                 "(NEW.pogingen > OLD.pogingen) EXECUTE FUNCTION weiger()")
                : QStringLiteral("CREATE TRIGGER weiger BEFORE UPDATE ON uitmeld WHEN "
                                 "NEW.pogingen > OLD.pogingen BEGIN SELECT RAISE(ABORT, "
                                 "'weigert'); END");
        QVERIFY(f.conn->exec(refuse));
        drain(f);
        QCOMPARE(f.sms.sent.size(), 1); // the first SMS went; nothing more until it is recorded
        QVERIFY(f.logText().contains(QStringLiteral("uitkomst nog niet vastgelegd")));
        f.console.dispatchTick();
        QCOMPARE(f.sms.sent.size(), 1);

        QVERIFY(f.conn->exec(QStringLiteral("DROP TRIGGER weiger") +
                             (f.db.onPostgres() ? QStringLiteral(" ON uitmeld") : QString())));
        drain(f);
        QCOMPARE(f.sms.sent.size(), 2); // the other recipient now; the first not again
        QCOMPARE(smsTo(f, QStringLiteral("+31612345678")), 1);
        QCOMPARE(smsTo(f, QStringLiteral("+31623456789")), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE pogingen = 1")), 2);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), 0);
        QVERIFY(f.logText().contains(QStringLiteral("uitkomst alsnog vastgelegd")));
    }

    // The quarter-hour repetition leaves a dispatch that is being sent to its
    // sender; once recorded, the next repetition takes it as usual.
    void repetitionLeavesClaimedDispatchAlone()
    {
        test::ConsoleFixture f;
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        drain(f);
        QCOMPARE(f.sms.sent.size(), 2);
        f.clock.advanceSecs(15 * 60);
        QCOMPARE(f.console.delivery().rearmSmsDispatches(), 2);
        const qint64 dispatch = janDispatch(f);
        DispatchClaims sending(*f.conn, f.clock, f.log, station(QStringLiteral("ander-station")));
        QVERIFY(sending.claim(dispatch).has_value());
        drain(f); // Marieke's repetition goes; Jan's is on its way elsewhere
        QCOMPARE(f.sms.sent.size(), 3);
        f.clock.advanceSecs(15 * 60);
        QCOMPARE(f.console.delivery().rearmSmsDispatches(), 1);
        drain(f);
        QCOMPARE(smsTo(f, QStringLiteral("+31612345678")), 1);

        sending.record(dispatch, DispatchClaims::Outcome::SmsSent);
        f.clock.advanceSecs(15 * 60);
        QCOMPARE(f.console.delivery().rearmSmsDispatches(), 1); // Marieke has had her three
        QCOMPARE(f.number(QStringLiteral("SELECT done FROM uitmeld WHERE id = ?"), {dispatch}), 0);
    }

    // An acknowledged dispatch whose sender died is left alone: nobody needs
    // the SMS any more.
    void acknowledgedLeftClaimIsNotSent()
    {
        test::ConsoleFixture f;
        pendingReport(f);
        const qint64 dispatch = janDispatch(f);
        DispatchClaims died(*f.conn, f.clock, f.log, station(QStringLiteral("kapot-station")));
        died.setLeaseSeconds(-5);
        QVERIFY(died.claim(dispatch).has_value());
        f.console.setGebruikerId(1);
        QVERIFY(f.console.bevestigMelding(
            f.number(QStringLiteral("SELECT id FROM meldingen ORDER BY id DESC LIMIT 1"))));
        f.console.dispatchTick();
        drain(f);
        QCOMPARE(smsTo(f, QStringLiteral("+31612345678")), 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), 0);
    }

    // A station that comes back after an outage with an outcome for a
    // dispatch it no longer holds writes nothing: not over an
    // acknowledgement, a bulk close, or what another station did since.
    void lateOutcomeUndoesNothing_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("pogingen");
        QTest::addColumn<int>("bevestigtype");
        const int released = int(DispatchClaims::Outcome::Released);
        const int sent = int(DispatchClaims::Outcome::SmsSent);
        QTest::newRow("operator acknowledged, not sent") << "operator" << released << 1 << 0 << 1;
        QTest::newRow("operator acknowledged without a login") << "operator zonder login" << released << 1 << 0 << 1;
        QTest::newRow("recipient replied, not sent") << "ontvanger" << released << 1 << 0 << 2;
        QTest::newRow("closed in bulk, not sent") << "bulk" << released << 1 << 0 << 3;
        QTest::newRow("another station sent it, not sent") << "overgenomen" << released << 1 << 1 << 0;
        QTest::newRow("another station sent it, sent too") << "overgenomen" << sent << 1 << 1 << 0;
        QTest::newRow("nothing happened, not sent") << "" << released << 0 << 0 << 0;
        QTest::newRow("nothing happened, sent") << "" << sent << 1 << 1 << 0;
    }
    void lateOutcomeUndoesNothing()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, outcome);
        QFETCH(int, done);
        QFETCH(int, pogingen);
        QFETCH(int, bevestigtype);
        test::ConsoleFixture f;
        pendingReport(f);
        const qint64 dispatch = janDispatch(f);
        DispatchClaims away(*f.conn, f.clock, f.log, station(QStringLiteral("weg-station")));
        QVERIFY(away.claim(dispatch).has_value());
        const auto acknowledge = [&](int type, int by) {
            QVERIFY(f.conn->exec(QStringLiteral("UPDATE uitmeld SET bevestigtype = ?, bevestiger = ? WHERE id = ?"),
                                 {type, by, dispatch}));
        };
        if (meanwhile == QStringLiteral("operator"))
            acknowledge(1, 1);
        else if (meanwhile == QStringLiteral("operator zonder login"))
            acknowledge(1, 0);
        else if (meanwhile == QStringLiteral("ontvanger"))
            acknowledge(2, int(f.jan));
        else if (meanwhile == QStringLiteral("bulk"))
            acknowledge(int(kClosedInBulk), 1);
        if (meanwhile == QStringLiteral("overgenomen")) {
            // Judged dead: its lease ran out and another station sent it.
            QVERIFY(f.conn->exec(QStringLiteral("UPDATE uitmeldclaim SET expires = 0")));
            DispatchClaims other(*f.conn, f.clock, f.log, station(QStringLiteral("ander-station")));
            QCOMPARE(other.recoverStale(), 1);
            QVERIFY(other.claim(dispatch).has_value());
            other.record(dispatch, DispatchClaims::Outcome::SmsSent);
        }
        away.record(dispatch, DispatchClaims::Outcome(outcome));
        QVERIFY(!away.hasUnrecorded());
        QCOMPARE(f.number(QStringLiteral("SELECT done FROM uitmeld WHERE id = ?"), {dispatch}), done);
        QCOMPARE(f.number(QStringLiteral("SELECT pogingen FROM uitmeld WHERE id = ?"), {dispatch}), pogingen);
        QCOMPARE(f.number(QStringLiteral("SELECT bevestigtype FROM uitmeld WHERE id = ?"), {dispatch}), bevestigtype);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), 0);
    }
};

QTEST_GUILESS_MAIN(TstClaims)
#include "tst_claims.moc"
