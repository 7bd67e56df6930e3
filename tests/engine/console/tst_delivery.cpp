#include "ConsoleFixture.h"
#include "Workstation.h"
#include "DeliveryRetry.h"
#include "DispatchClaims.h"
#include "PendingDispatches.h"
#include "ReportDetail.h"

#include <QTest>

using namespace taviro;

namespace {

// Marieke (SMS) and, newer, Piet, set up as a row asks, are on duty: Piet's
// dispatch is the one each pass looks at first.
struct PietFixture : test::ConsoleFixture
{
    qint64 piet = 0;
    QStringList screen;

    PietFixture(const QString& mobiel, const QString& email, bool sms, bool mail)
    {
        test::Installation inst(*conn);
        piet = inst.recipient(QStringLiteral("Piet Jansen"), mobiel, email, sms, mail);
        // Wednesday's day block: Marieke first, Piet second.
        if (!inst.ok() || !conn->exec(QStringLiteral("UPDATE weekplanningen SET \"6\" = ?, \"27\" = ?"),
                                      {marieke, piet})
            || !console.loadPlanningCache())
            qFatal("Piet's schedule");
        QObject::connect(&log, &EventLog::screenLine, &log, [this](const QString& l) { screen << l; });
    }

    // The report comes in while nothing is sent, so both dispatches wait.
    qint64 takeIn()
    {
        const qint64 melding = report({QStringLiteral("01")});
        console.setShuttingDown(true);
        console.showNewActueel();
        console.setShuttingDown(false);
        return melding;
    }

    void tick()
    {
        console.dispatchTick();
        settle();
    }

    qint64 pietRow(const char* column) const
    {
        return number(QStringLiteral("SELECT %1 FROM uitmeld WHERE ontvanger_id = ?").arg(QLatin1String(column)),
                      {piet});
    }

    qsizetype smsTo(const QString& naam) const
    {
        return std::count_if(sms.sent.cbegin(), sms.sent.cend(),
                             [&](const SmsRequest& r) { return r.recipientName == naam; });
    }

    qsizetype onScreen(const QString& text) const
    {
        return std::count_if(screen.cbegin(), screen.cend(), [&](const QString& l) { return l.contains(text); });
    }
};

} // namespace

// A dispatch that cannot go out must not keep older ones waiting, must not
// count attempts it did not make, and must not fill the log tab.
class TstDelivery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void undeliverableDoesNotHoldBackOlder_data()
    {
        QTest::addColumn<QString>("mobiel");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("useSms");
        QTest::addColumn<bool>("useMail");
        QTest::addColumn<bool>("modemRefuses");
        QTest::addColumn<bool>("pietDone");
        QTest::addColumn<qint64>("pietType");
        QTest::addColumn<int>("mailsToPiet");
        QTest::addColumn<QString>("said");
        const QString nr = QStringLiteral("+31687654321");
        const QString addr = QStringLiteral("piet@example.nl");
        QTest::newRow("e-mail only, no address: the e-mail part is over")
            << QString() << QStringLiteral(" \r\n") << false << true << false << true << qint64(2) << 0
            << "aan Piet Jansen: geen e-mailadres ingevuld";
        QTest::newRow("SMS and e-mail without a mobile number")
            << QString() << addr << true << true << false << false << qint64(2) << 1
            << "aan Piet Jansen: geen SMS verstuurd, er is geen mobiel nummer ingevuld";
        QTest::newRow("SMS the modem always refuses")
            << nr << QString() << true << false << true << false << qint64(0) << 0
            << "aan Piet Jansen: SMS naar +31687654321 niet verzonden";
        QTest::newRow("neither SMS nor e-mail")
            << nr << addr << false << false << false << false << qint64(0) << 0
            << "aan Piet Jansen niet verstuurd: geen SMS of e-mail ingesteld";
    }
    void undeliverableDoesNotHoldBackOlder()
    {
        QFETCH(QString, mobiel);
        QFETCH(QString, email);
        QFETCH(bool, useSms);
        QFETCH(bool, useMail);
        QFETCH(bool, modemRefuses);
        QFETCH(bool, pietDone);
        QFETCH(qint64, pietType);
        QFETCH(int, mailsToPiet);
        QFETCH(QString, said);
        PietFixture f(mobiel, email, useSms, useMail);
        if (modemRefuses)
            f.sms.refusedNumbers << mobiel;
        f.takeIn();

        f.tick();
        QCOMPARE(f.smsTo(QStringLiteral("Marieke Bakker")), 1); // the older dispatch went at once
        QCOMPARE(f.pietRow("done"), qint64(pietDone));
        QCOMPARE(f.pietRow("uitmeldtype"), pietType);
        QCOMPARE(f.pietRow("pogingen"), 0);
        QCOMPARE(f.mails().size(), mailsToPiet);
        QCOMPARE(f.onScreen(said), 1);

        // Half an hour of ticks: retried now and then, said once, never counted.
        for (int minute = 1; minute <= 30; ++minute) {
            f.clock.advanceSecs(60);
            f.tick();
        }
        QCOMPARE(f.smsTo(QStringLiteral("Marieke Bakker")), 1);
        QCOMPARE(f.pietRow("pogingen"), 0);
        QCOMPARE(f.mails().size(), mailsToPiet);
        QCOMPARE(f.onScreen(said), 1);
        QCOMPARE(f.onScreen(QStringLiteral("Piet Jansen")), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), 0);
    }

    // The pauses grow 1, 2, 4, 8, 15 minutes, survive a restart of the
    // console, and end when the SMS finally goes.
    void failingDispatchPausesLongerEachTime()
    {
        const QString nr = QStringLiteral("+31687654321");
        PietFixture f(nr, QString(), true, false);
        f.sms.refusedNumbers << nr;
        f.takeIn();
        QList<int> tried;
        auto later = std::make_unique<Console>(*f.conn, f.clock, f.log, f.sms, f.mail);
        later->setSmsSettleMsecs(0);
        QVERIFY(later->loadPlanningCache());
        for (int minute = 0; minute <= 45; ++minute) {
            if (minute == 32)
                f.sms.refusedNumbers.clear(); // the operator put the right number in
            const qsizetype before = f.smsTo(QStringLiteral("Piet Jansen"));
            // From minute 10 on a console started afresh does the work.
            (minute < 10 ? f.console : *later).dispatchTick();
            f.settle();
            if (f.smsTo(QStringLiteral("Piet Jansen")) > before)
                tried << minute;
            f.clock.advanceSecs(60);
        }
        QCOMPARE(tried, (QList<int>{0, 1, 3, 7, 15, 30, 45}));
        QCOMPARE(f.pietRow("pogingen"), 1);
        QCOMPARE(f.pietRow("done"), 1);
        QCOMPARE(f.smsTo(QStringLiteral("Marieke Bakker")), 1);
        QCOMPARE(f.onScreen(QStringLiteral("SMS naar +31687654321 niet verzonden")), 1);
        QCOMPARE(f.onScreen(QStringLiteral("aan Piet Jansen alsnog verstuurd")), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldretry")), 0);
    }

    // An operator who puts the right number in wants the SMS now, not after
    // the rest of a quarter-hour pause; another recipient's pause stays.
    void savedRecipientIsTriedAtTheNextPass()
    {
        const QString nr = QStringLiteral("+31687654321");
        PietFixture f(nr, QString(), true, false);
        f.sms.refusedNumbers << nr << QStringLiteral("+31623456789"); // Marieke's fails too
        f.takeIn();
        for (int minute = 0; minute < 20; ++minute) { // well into the longest pauses
            f.tick();
            f.clock.advanceSecs(60);
        }
        const qsizetype tries = f.smsTo(QStringLiteral("Piet Jansen"));
        f.tick();
        QCOMPARE(f.smsTo(QStringLiteral("Piet Jansen")), tries); // still pausing
        f.sms.refusedNumbers.removeAll(nr);
        QVERIFY(DeliveryRetry::forgetRecipient(*f.conn, f.piet).ok());
        f.tick();
        QCOMPARE(f.smsTo(QStringLiteral("Piet Jansen")), tries + 1);
        QCOMPARE(f.pietRow("done"), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldretry r JOIN uitmeld u ON u.id = r.uitmeld_id "
                                         "WHERE u.ontvanger_id = ?"),
                          {f.marieke}),
                 1);
    }

    // A report whose dispatches are closed in bulk is not forwarded again,
    // whatever state its dispatches were in, and shows who closed them.
    void bulkCloseEndsRepetition_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("sent, waiting for the next quarter") << "sent";
        QTest::newRow("re-armed, not yet sent again") << "rearmed";
        QTest::newRow("being sent by another station") << "claimed";
    }
    void bulkCloseEndsRepetition()
    {
        QFETCH(QString, state);
        test::ConsoleFixture f;
        const qint64 melding = f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        QCOMPARE(f.sms.sent.size(), 2);
        const qint64 jans = f.number(QStringLiteral("SELECT id FROM uitmeld WHERE ontvanger_id = ?"), {f.jan});
        DispatchClaims elsewhere(*f.conn, f.clock, f.log,
                                 {QStringLiteral("ander-station"), Workstation::stationKind(), QStringLiteral("start-1")});
        f.clock.advanceSecs(15 * 60);
        if (state != QLatin1String("sent"))
            QCOMPARE(f.console.delivery().rearmSmsDispatches(), 2);
        if (state == QLatin1String("claimed"))
            QVERIFY(elsewhere.claim(jans).has_value());

        f.clock.advanceSecs(5 * 60);
        auto closed = closeOpenDispatches(*f.conn, {melding}, {1, f.clock.now()});
        QVERIFY2(closed, qPrintable(closed.error()));
        QCOMPARE(*closed, 2);
        if (state == QLatin1String("claimed"))
            elsewhere.record(jans, DispatchClaims::Outcome::Released); // its SMS did not go

        for (int quarter = 0; quarter < 3; ++quarter) {
            f.clock.advanceSecs(15 * 60);
            f.console.quarterHourTick();
            f.console.dispatchTick();
            f.settle();
        }
        QCOMPARE(f.sms.sent.size(), 2);
        QVERIFY(listOpenMeldingen(*f.conn)->isEmpty());
        auto detail = loadMeldingDetail(*f.conn, melding);
        QVERIFY(detail);
        QCOMPARE(detail->lines.size(), 1);
        QCOMPARE(detail->lines[0].dispatches.size(), 2);
        for (const DispatchState& d : detail->lines[0].dispatches)
            QCOMPARE(d.stateText(), QStringLiteral("Gesloten door Operator Een op 02-12 10:35"));

        // Acknowledging the report afterwards keeps the record of who closed them.
        f.console.setGebruikerId(1);
        QVERIFY(f.console.bevestigMelding(melding));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 3")), 2);
    }
};

QTEST_GUILESS_MAIN(TstDelivery)
#include "tst_delivery.moc"
