#include "ConsoleFixture.h"

#include <QSignalSpy>
#include <QSqlRecord>
#include <QTest>

using namespace taviro;

// The road of an alarm: stored, taken in, forwarded to everyone on duty,
// repeated at the quarter hours, stopped by acknowledgement.
class TstConsole : public QObject
{
    Q_OBJECT

    static QString expectedSms()
    {
        QString s = QStringLiteral(
            "> Kantoor Centrum 1001 Stationsweg 1 Baarn\r01 Inbraak hal Op\r02 Brand keuken Op\r");
        return s + QString(145 - s.size(), QLatin1Char(' '));
    }

    static QStringList rowsOf(const test::ConsoleFixture& f, const QString& what,
                              const QString& sql)
    {
        QStringList out;
        auto q = f.conn->query(sql);
        if (!q)
            return {q.error()};
        while (q->next()) {
            QStringList cols{what};
            for (int i = 0; i < q->record().count(); ++i)
                cols << QString::number(sql::toLong(q->value(i)));
            out << cols.join(QLatin1Char(' '));
        }
        return out;
    }

    // Eight reports mixing one and two recipients, skipped and booked lines,
    // an unknown point, a missing schedule, check-ins and a report that is
    // not listed; taken in as one run or each on its own. Returns what the
    // intake wrote and handed over, in a comparable form.
    static QStringList mixedBacklog(bool bemand, bool copies, bool oneByOne)
    {
        test::ConsoleFixture f;
        f.sms.succeed = false; // deliveries between the reports change nothing compared here
        f.console.setBemand(bemand);
        test::Installation inst(*f.conn);
        WeekPlanning w = inst.weekTemplate(QStringLiteral("JAN"));
        for (int day = 0; day < 7; ++day)
            w.cells[WeekPlanning::cellIndex(0, day, 0)] = f.jan;
        const qint64 janOnly = inst.week(w);
        inst.point(f.melder, QStringLiteral("03"), QStringLiteral("Controle"), 0, 0, true);
        inst.point(f.melder, QStringLiteral("04"), QStringLiteral("Lift"), 2, janOnly);
        const qint64 one = inst.transmitter(QStringLiteral("3001"), QStringLiteral("Garage"), 1,
                                            janOnly, 0);
        inst.point(one, QStringLiteral("07"), QStringLiteral("Deur"));
        const qint64 booked = inst.transmitter(QStringLiteral("2001"), QStringLiteral("Sporthal"),
                                               1, f.week, 0);
        inst.point(booked, QStringLiteral("05"), QStringLiteral("CV"), 1);
        const qint64 missing = inst.transmitter(QStringLiteral("4001"), QStringLiteral("Kantine"),
                                                1, 4242, 0);
        inst.point(missing, QStringLiteral("08"), QStringLiteral("Koeling"));
        const qint64 off = inst.transmitter(QStringLiteral("5001"), QStringLiteral("Loods"), 1,
                                            f.week, 0);
        inst.point(off, QStringLiteral("09"), QStringLiteral("Sprinkler"));
        const qint64 yearly = inst.transmitter(QStringLiteral("6001"), QStringLiteral("School"), 2,
                                               0, inst.year(QStringLiteral("JR"), janOnly));
        inst.point(yearly, QStringLiteral("0A"), QStringLiteral("Inbraak"));
        if (copies)
            inst.settings([](Settings& s) {
                s.ElkeMeldingEmail = QStringLiteral("alles@example.nl");
                s.OnbemandeMeldingEmail = QStringLiteral("nacht@example.nl");
            });
        if (!inst.ok() ||
            !f.conn->exec(QStringLiteral("UPDATE melders SET actief = false WHERE id = ?"), {off}) ||
            !f.console.loadPlanningCache())
            return {QStringLiteral("set-up failed")};

        using Line = std::pair<const char*, const char*>; // transmitter, point
        const QList<QList<Line>> reports{
            {{"1001", "01"}, {"1001", "02"}},
            {{"3001", "07"}},
            {{"1001", "01"}, {"2001", "05"}},
            {{"5001", "09"}},
            {{"1001", "01"}}, // gets a line of an unknown point as well
            {{"4001", "08"}, {"1001", "04"}, {"6001", "0A"}},
            {{"1001", "03"}, {"1001", "02"}},
            {{"1001", "02"}, {"3001", "07"}, {"2001", "05"}},
        };
        QStringList out;
        auto takeIn = [&] {
            for (const ActueelItem& item : f.console.showNewActueel())
                out << QStringLiteral("listed %1 %2").arg(item.meldingId).arg(item.naam);
        };
        for (qsizetype i = 0; i < reports.size(); ++i) {
            ReceivedReport r{QString::fromLatin1(reports[i].first().first), {}, f.clock.now(), {}};
            for (const auto& [melder, point] : reports[i])
                r.lines.append({QString::fromLatin1(point), {}, 1, {}, QString::fromLatin1(melder), {}});
            auto id = f.store.store(r);
            if (!id)
                return {id.error()};
            if (i == 4 &&
                !f.conn->exec(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, "
                                             "alarm_id, flank, actief) VALUES (?, 9999, 9999, 1, true)"),
                              {*id}))
                return {QStringLiteral("unknown line not written")};
            if (oneByOne)
                takeIn();
        }
        if (!oneByOne)
            takeIn();

        out << rowsOf(f, QStringLiteral("melding"),
                      QStringLiteral("SELECT id, seen, bemand FROM meldingen ORDER BY id"));
        out << rowsOf(f, QStringLiteral("uitmeld"),
                      QStringLiteral("SELECT id, ontvanger_id FROM uitmeld ORDER BY id"));
        out << rowsOf(f, QStringLiteral("link"),
                      QStringLiteral("SELECT uitmeld_id, meldindex_id FROM uitmeldlink "
                                     "ORDER BY uitmeld_id, meldindex_id"));
        out << rowsOf(f, QStringLiteral("line"),
                      QStringLiteral("SELECT id, melding_id, uitmeld_id, uitmelden FROM meldindex "
                                     "ORDER BY id"));
        for (const outbox::OutboxRow& m : f.mails())
            if (m.recipientName.contains(QLatin1String("(zie opties)")))
                out << QStringLiteral("copy %1 %2 %3").arg(m.address, m.subject, m.body);
        for (const QString& l : f.logText().split(QLatin1Char('\n')))
            if (l.contains(QLatin1String("uitgemeld")))
                out << l;
        return out;
    }

private Q_SLOTS:
    void everyoneOnDutyIsTold()
    {
        test::ConsoleFixture f;
        const qint64 id = f.report({QStringLiteral("01"), QStringLiteral("02")});
        QSignalSpy beeps(&f.console, &Console::beep);
        const QList<ActueelItem> items = f.console.showNewActueel();
        f.settle();

        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].meldingId, id);
        QCOMPARE(items[0].naam, QStringLiteral("Kantoor Centrum"));
        QCOMPARE(items[0].bemand, false);
        QCOMPARE(beeps.size(), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE seen = true")), 1);
        // One dispatch per recipient, each carrying both lines.
        QCOMPARE(
            f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id IN (?, ?)"),
                     {f.jan, f.marieke}),
            2);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldlink")), 4);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldindex WHERE uitmelden = true")),
                 2);
        // Older tools read a line's dispatch from meldindex: the last recipient's.
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldindex INNER JOIN uitmeld ON "
                                         "uitmeld.id = meldindex.uitmeld_id WHERE ontvanger_id = ?"),
                          {f.marieke}),
                 2);

        // Newest dispatch first: Marieke's, then Jan's in the pass that follows at once.
        QCOMPARE(f.sms.sent.size(), 2);
        QCOMPARE(f.sms.sent[0].recipientName, QStringLiteral("Marieke Bakker"));
        QCOMPARE(f.sms.sent[1].mobileNumber, QStringLiteral("+31612345678"));
        QCOMPARE(f.sms.sent[0].text, expectedSms());
        QCOMPARE(f.sms.sent[1].text, expectedSms());
        QCOMPARE(f.sms.sent[0].sender, QString()); // getSmsSettings not called in this test

        QCOMPARE(f.mails().size(), 1);
        const outbox::OutboxRow m = f.mails().value(0);
        QCOMPARE(m.address, QStringLiteral("jan@example.nl"));
        QCOMPARE(m.subject, QStringLiteral("Taviro Kantoor Centrum 1001 Alarm Melding"));
        QCOMPARE(
            m.body,
            QStringLiteral(
                "\r\nMELDER\r\nNaam         : Kantoor Centrum\r\nOS-nummer    : 1001\r\n"
                "Adres        : Stationsweg 1\r\n\r\nMELDING(EN)\r\n"
                "Functie      : 01\r\nOmschrijving : Inbraak hal\r\nFlank        : Op\r\n\r\n"
                "Functie      : 02\r\nOmschrijving : Brand keuken\r\nFlank        : Op\r\n\r\n"));
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = true AND "
                                         "uitmeldtype = 1 AND pogingen = 1")),
                 2);
    }

    void twoTransmittersInOneDispatch()
    {
        test::ConsoleFixture f;
        test::Installation inst(*f.conn);
        const qint64 hal = inst.transmitter(QStringLiteral("0999"), QStringLiteral("Sporthal"), 1,
                                            f.week, 0, QString());
        inst.point(hal, QStringLiteral("05"), QStringLiteral("CV"));
        ReceivedReport r{QStringLiteral("1001"), {}, f.clock.now(), {}};
        r.lines.append({QStringLiteral("01"), {}, 1, {}, {}, {}});
        r.lines.append({QStringLiteral("05"), {}, 0, {}, QStringLiteral("0999"), {}});
        QVERIFY(f.store.store(r));
        f.console.showNewActueel();
        f.settle();

        auto pad = [](QString s) { return s + QString(145 - s.size() % 145, QLatin1Char(' ')); };
        QCOMPARE(f.sms.sent.value(0).text,
                 pad(QStringLiteral("> Sporthal 0999  Baarn\r05 CV Af\r")) +
                     pad(QStringLiteral(
                         "> Kantoor Centrum 1001 Stationsweg 1 Baarn\r01 Inbraak hal Op\r")));
        QCOMPARE(f.mails().value(0).subject,
                 QStringLiteral("Taviro Sporthal 0999 Alarm Melding"));
        QCOMPARE(
            f.mails().value(0).body,
            QStringLiteral(
                "\r\nMELDER\r\nNaam         : Sporthal\r\nOS-nummer    : "
                "0999\r\n\r\nMELDING(EN)\r\n"
                "Functie      : 05\r\nOmschrijving : CV\r\nFlank        : Af\r\n\r\n"
                "MELDER\r\nNaam         : Kantoor Centrum\r\nOS-nummer    : 1001\r\n"
                "Adres        : Stationsweg 1\r\n\r\nMELDING(EN)\r\n"
                "Functie      : 01\r\nOmschrijving : Inbraak hal\r\nFlank        : Op\r\n\r\n"));
    }

    void repetitionUntilMaxOrAcknowledged_data()
    {
        QTest::addColumn<int>("acknowledgeAfterRound");
        QTest::addColumn<int>("expectedSms");
        QTest::newRow("nobody acknowledges: three attempts each") << 0 << 6;
        QTest::newRow("acknowledged after the first round") << 1 << 2;
        QTest::newRow("acknowledged after the second round") << 2 << 4;
    }

    void repetitionUntilMaxOrAcknowledged()
    {
        QFETCH(int, acknowledgeAfterRound);
        QFETCH(int, expectedSms);
        test::ConsoleFixture f;
        f.console.setGebruikerId(1);
        const qint64 id = f.report({QStringLiteral("01"), QStringLiteral("02")});
        f.console.showNewActueel();
        f.settle();
        for (int round = 1; round <= 4; ++round) {
            if (round == acknowledgeAfterRound)
                QVERIFY(f.console.bevestigMelding(id).ok());
            f.clock.advanceSecs(15 * 60);
            f.console.minuteTick(); // 10:30, 10:45, 11:00, 11:15
            f.console.dispatchTick();
            f.settle();
        }
        QCOMPARE(f.sms.sent.size(), expectedSms);
        QCOMPARE(f.mails().size(), 1); // the e-mail is not repeated with the SMS
        QCOMPARE(f.number(QStringLiteral("SELECT MAX(pogingen) FROM uitmeld")), expectedSms / 2);
        if (acknowledgeAfterRound > 0)
            QCOMPARE(f.number(QStringLiteral(
                         "SELECT COUNT(*) FROM uitmeld WHERE bevestiger = 1 AND bevestigtype = 1")),
                     2);
    }

    void rearmingLooksBackOneDay_data()
    {
        QTest::addColumn<int>("daysLater");
        QTest::addColumn<int>("pogingen");
        QTest::addColumn<int>("bevestiger");
        QTest::addColumn<int>("rearmed");
        QTest::newRow("same night") << 0 << 1 << 0 << 1;
        QTest::newRow("next day") << 1 << 1 << 0 << 1;
        QTest::newRow("the day after") << 2 << 1 << 0 << 0;
        QTest::newRow("attempts used up") << 0 << 3 << 0 << 0;
        QTest::newRow("acknowledged") << 0 << 1 << 1 << 0;
    }

    void rearmingLooksBackOneDay()
    {
        QFETCH(int, daysLater);
        QFETCH(int, pogingen);
        QFETCH(int, bevestiger);
        QFETCH(int, rearmed);
        test::ConsoleFixture f;
        QVERIFY(f.conn->exec(
            QStringLiteral(
                "INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, \"date\", "
                "bevestiger, bevestigtype) VALUES (?, 1, true, ?, '2026-12-02 23:50:00', ?, 0)"),
            {f.jan, pogingen, bevestiger}));
        f.clock.set(QDateTime(QDate(2026, 12, 2).addDays(daysLater),
                              QTime(daysLater == 0 ? 23 : 0, daysLater == 0 ? 55 : 15)));
        QCOMPARE(f.console.delivery().rearmSmsDispatches(), rearmed);
        QCOMPARE(f.number(QStringLiteral("SELECT done FROM uitmeld")), rearmed ? 0 : 1);
    }

    void minuteOutsideQuarterDoesNothing()
    {
        test::ConsoleFixture f;
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        f.clock.set(QDateTime(QDate(2026, 12, 2), QTime(10, 16, 59)));
        f.console.minuteTick();
        f.console.dispatchTick();
        f.settle();
        QCOMPARE(f.sms.sent.size(), 2);
    }

    void acknowledgementKeepsRecipientsOwn()
    {
        test::ConsoleFixture f;
        f.console.setGebruikerId(1);
        f.console.setLampActive(true);
        const qint64 id = f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        QVERIFY(f.conn->exec(
            QStringLiteral(
                "UPDATE uitmeld SET bevestigtype = 2, bevestiger = ? WHERE ontvanger_id = ?"),
            {f.marieke, f.marieke}));
        QSignalSpy lamp(&f.console, &Console::lampRequested);
        QVERIFY(f.console.bevestigMelding(id).ok());
        QCOMPARE(f.number(QStringLiteral("SELECT bevestiger FROM uitmeld WHERE ontvanger_id = ?"),
                          {f.marieke}),
                 f.marieke);
        QCOMPARE(f.number(QStringLiteral("SELECT bevestigtype FROM uitmeld WHERE ontvanger_id = ?"),
                          {f.jan}),
                 1);
        QCOMPARE(f.number(QStringLiteral("SELECT %1 FROM meldingen WHERE id = ?")
                              .arg(f.conn->id(QStringLiteral("show"))),
                          {id}),
                 0);
        QCOMPARE(lamp.size(), 1);
        QCOMPARE(lamp[0][0].toBool(), false);
    }

    void mannedReportIsBookedNotForwarded_data()
    {
        QTest::addColumn<bool>("bemand");
        QTest::addColumn<QStringList>("copies");
        QTest::newRow("manned") << true << QStringList{ QStringLiteral("Elke melding ontvanger (zie opties)")};
        QTest::newRow("unmanned")
            << false
            << QStringList{QStringLiteral("Elke melding ontvanger (zie opties)"),
                           QStringLiteral("Onbemande melding ontvanger (zie opties)")};
    }

    void mannedReportIsBookedNotForwarded()
    {
        QFETCH(bool, bemand);
        QFETCH(QStringList, copies);
        test::ConsoleFixture f;
        test::Installation(*f.conn).settings([](Settings& s) {
            s.ElkeMeldingEmail = QStringLiteral("alles@example.nl");
            s.OnbemandeMeldingEmail = QStringLiteral(" \r\nnacht@example.nl\r\n");
        });
        f.console.setBemand(bemand);
        f.console.setLampActive(true);
        QSignalSpy lamp(&f.console, &Console::lampRequested);
        f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        QStringList names;
        for (const outbox::OutboxRow& m : f.mails())
            if (m.recipientName.contains(QLatin1String("(zie opties)")))
                names << m.recipientName;
        QCOMPARE(names, copies);
        QCOMPARE(lamp.size(), bemand ? 1 : 0);
        QCOMPARE(f.number(QStringLiteral("SELECT bemand FROM meldingen")), bemand ? 1 : 0);
        if (bemand) {
            QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld")), 1);
            QCOMPARE(f.number(QStringLiteral(
                         "SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id = 0 AND done = true "
                         "AND uitmeldtype = 0")),
                     1);
            QCOMPARE(f.number(QStringLiteral("SELECT uitmelden FROM meldindex")), 0);
            QCOMPARE(f.number(QStringLiteral("SELECT uitmeld_id FROM meldindex")),
                     f.number(QStringLiteral("SELECT id FROM uitmeld")));
            QCOMPARE(f.sms.sent.size(), 0);
        } else {
            QCOMPARE(f.mails().last().address, QStringLiteral("jan@example.nl"));
            QCOMPARE(f.mails().value(1).address, QStringLiteral("nacht@example.nl"));
        }
    }

    // The second line of each report is the odd one; the first is an ordinary
    // alarm that must still reach both people on duty.
    void oddLinesAreSkippedAndLogged_data()
    {
        QTest::addColumn<QString>("oddCase");
        QTest::addColumn<bool>("booked"); // linked to the bookkeeping dispatch
        QTest::addColumn<QString>("logged");
        QTest::newRow("inactive transmitter") << "inactiveMelder" << false << "";
        QTest::newRow("point not forwarded") << "pointNotForwarded" << true << "";
        QTest::newRow("transmitter does not forward") << "melderRule0" << true << "";
        QTest::newRow("week schedule missing") << "missingWeek" << true << "Weekrooster 4242 bestaat niet";
        QTest::newRow("year without this week") << "emptyYear" << true << "heeft geen weekrooster voor week 49";
    }

    void oddLinesAreSkippedAndLogged()
    {
        QFETCH(QString, oddCase);
        QFETCH(bool, booked);
        QFETCH(QString, logged);
        test::ConsoleFixture f;
        test::Installation inst(*f.conn);
        qint64 rule = 1, weekId = f.week, yearId = 0, pointRule = 0;
        if (oddCase == QLatin1String("melderRule0"))
            rule = 0;
        if (oddCase == QLatin1String("missingWeek"))
            weekId = 4242;
        if (oddCase == QLatin1String("emptyYear")) {
            rule = 2;
            yearId = inst.year(QStringLiteral("LEEG"), 0);
        }
        if (oddCase == QLatin1String("pointNotForwarded"))
            pointRule = 1;
        const qint64 odd = inst.transmitter(QStringLiteral("2001"), QStringLiteral("Sporthal"),
                                            rule, weekId, yearId);
        inst.point(odd, QStringLiteral("05"), QStringLiteral("CV"), pointRule);
        if (oddCase == QLatin1String("inactiveMelder"))
            QVERIFY(f.conn->exec(QStringLiteral("UPDATE melders SET actief = false WHERE id = ?"),
                                 {odd}));
        QVERIFY(f.console.loadPlanningCache());

        ReceivedReport r{QStringLiteral("1001"), {}, f.clock.now(), {}};
        r.lines.append({QStringLiteral("01"), {}, 1, {}, {}, {}});
        r.lines.append({QStringLiteral("05"), {}, 1, {}, QStringLiteral("2001"), {}});
        QVERIFY(f.store.store(r));
        f.console.showNewActueel();
        f.settle();

        QCOMPARE(f.sms.sent.size(), 2);
        QVERIFY(!f.sms.sent[0].text.contains(QLatin1String("CV")));
        const QString oddLine = QStringLiteral("SELECT %1 FROM meldindex WHERE alarm_id = (SELECT "
                                               "id FROM alarmen WHERE functie = '05')");
        QCOMPARE(f.number(oddLine.arg(QStringLiteral("uitmelden"))), 0);
        const qint64 bookkeeping = f.number(
            QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM uitmeld WHERE ontvanger_id = 0"));
        QCOMPARE(f.number(oddLine.arg(QStringLiteral("uitmeld_id"))), booked ? bookkeeping : 0);
        QCOMPARE(bookkeeping != 0, booked);
        if (!logged.isEmpty())
            QVERIFY2(f.logText().contains(logged), qPrintable(f.logText()));
    }

    // A backlog is taken in by runs that share their reads and writes; every
    // report of a run must still end up with exactly the dispatches, links,
    // line marks, list entry, copy mails and log lines it gets on its own.
    void runTakesEachReportInAsAlone_data()
    {
        QTest::addColumn<bool>("bemand");
        QTest::addColumn<bool>("copies");
        QTest::newRow("unmanned") << false << false;
        QTest::newRow("unmanned, copy addresses") << false << true;
        QTest::newRow("manned, copy addresses") << true << true;
    }

    void runTakesEachReportInAsAlone()
    {
        QFETCH(bool, bemand);
        QFETCH(bool, copies);
        const QStringList asRun = mixedBacklog(bemand, copies, false);
        const QStringList alone = mixedBacklog(bemand, copies, true);
        QCOMPARE(asRun, alone);
        // Not vacuous: both kinds of dispatch and the logged skips are there.
        QVERIFY(std::any_of(asRun.cbegin(), asRun.cend(), [](const QString& row) {
            return row.startsWith(QLatin1String("uitmeld ")) && row.endsWith(QLatin1String(" 0"));
        }));
        QVERIFY(!asRun.filter(QStringLiteral("niet uitgemeld")).isEmpty());
    }

    // Jan gets SMS and e-mail. Whatever fails on the first pass, the next
    // pass sends only what is still owed, and the mail is queued once.
    void smsAndMailRecipientGetsWhatIsOwed_data()
    {
        QTest::addColumn<bool>("smsSent");
        QTest::addColumn<qint64>("typeAfterFirst");
        QTest::newRow("both go") << true << qint64(1);
        QTest::newRow("SMS fails: owes only the SMS") << false << qint64(2);
    }
    void smsAndMailRecipientGetsWhatIsOwed()
    {
        QFETCH(bool, smsSent);
        QFETCH(qint64, typeAfterFirst);
        test::ConsoleFixture f;
        f.report({QStringLiteral("01")});
        f.console.setShuttingDown(true); // taken in, not sent
        f.console.showNewActueel();
        f.console.setShuttingDown(false);
        // Only Jan's dispatch: a failed pass does not go on to an older one.
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE uitmeld SET done = ? WHERE ontvanger_id = ?"),
                             {sql::boolValue(true), f.marieke}));
        f.sms.succeed = smsSent;
        f.console.dispatchTick();
        f.settle();
        const QString janRow = QStringLiteral("SELECT %1 FROM uitmeld WHERE ontvanger_id = ?");
        QCOMPARE(f.number(janRow.arg(QStringLiteral("uitmeldtype")), {f.jan}), typeAfterFirst);
        QCOMPARE(f.number(janRow.arg(QStringLiteral("pogingen")), {f.jan}), smsSent ? 1 : 0);
        QCOMPARE(f.mails().size(), 1);

        f.sms.succeed = true;
        f.sms.sent.clear();
        f.clock.advanceSecs(60); // a failed dispatch pauses a minute
        f.console.dispatchTick();
        f.settle();
        QCOMPARE(f.mails().size(), 1);
        QCOMPARE(f.mails().value(0).key, outbox::dispatchKey(f.number(janRow.arg(QStringLiteral("id")), {f.jan})));
        QCOMPARE(f.sms.sent.size(), smsSent ? 0 : 1); // Jan's SMS again only when it had not gone
        QCOMPARE(f.number(janRow.arg(QStringLiteral("uitmeldtype")), {f.jan}), 1);
        QCOMPARE(f.number(janRow.arg(QStringLiteral("pogingen")), {f.jan}), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim")), 0);
    }

    // A database an older version left with an e-mail noted as still owed
    // (its mail service had refused it while the SMS went): the note moves
    // into the outbox once, unless nobody needs the mail any more.
    void owedMailNoteMovesIntoTheOutbox_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<int>("mails");
        QTest::newRow("still owed") << QString() << 1;
        QTest::newRow("acknowledged meanwhile") << QStringLiteral("ack") << 0;
        QTest::newRow("recipient without e-mail now")
            << QStringLiteral("UPDATE ontvangers SET UseEmail = ? WHERE id = ?") << 0;
    }
    void owedMailNoteMovesIntoTheOutbox()
    {
        QFETCH(QString, meanwhile);
        QFETCH(int, mails);
        test::ConsoleFixture f;
        const qint64 melding = f.report({QStringLiteral("01")});
        f.console.showNewActueel();
        f.settle();
        QCOMPARE(f.sms.sent.size(), 2);
        const qint64 janDispatch = f.number(QStringLiteral("SELECT id FROM uitmeld WHERE ontvanger_id = ?"), {f.jan});
        QVERIFY(f.conn->exec(QStringLiteral("DELETE FROM mailwachtrij")));
        QVERIFY(f.conn->exec(QStringLiteral("INSERT INTO uitmeldmail (uitmeld_id) VALUES (?)"), {janDispatch}));
        if (meanwhile == QLatin1String("ack"))
            QVERIFY(f.console.bevestigMelding(melding));
        else if (!meanwhile.isEmpty())
            QVERIFY(f.conn->exec(meanwhile, {sql::boolValue(false), f.jan}));

        f.console.dispatchTick();
        f.console.dispatchTick(); // a second station's tick finds nothing more to queue
        QCOMPARE(f.mails().size(), mails);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldmail")), 0);
        if (mails > 0) {
            QCOMPARE(f.mails()[0].address, QStringLiteral("jan@example.nl"));
            QCOMPARE(f.mails()[0].uitmeldId, janDispatch);
            QVERIFY(f.mails()[0].body.contains(QStringLiteral("Inbraak hal")));
        }
        QCOMPARE(f.sms.sent.size(), 2); // the SMS do not go again for it
    }

    void deletedRecipientDoesNotBlockOlderDispatches()
    {
        test::ConsoleFixture f;
        f.report({QStringLiteral("01")});
        f.sms.succeed = false; // nothing leaves: both dispatches stay pending
        f.console.showNewActueel();
        f.settle();
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE ontvangers SET deleted = true WHERE id = ?"),
                             {f.marieke}));
        f.sms.succeed = true;
        f.sms.sent.clear();
        f.clock.advanceSecs(60); // both failed once and pause a minute
        f.console.dispatchTick();
        f.settle();
        QCOMPARE(f.sms.sent.size(), 1);
        QCOMPARE(f.sms.sent[0].recipientName, QStringLiteral("Jan de Vries"));
        QVERIFY(f.logText().contains(
            QStringLiteral("controleer rooster op verwijderde items ( hint: Marieke Bakker )")));
    }

    void watchdogReportsLatePointsOnce_data()
    {
        QTest::addColumn<int>("hoursAgo");
        QTest::addColumn<int>("reports");
        QTest::newRow("25 hours: in time") << 25 << 0;
        QTest::newRow("26 hours: late") << 26 << 1;
        QTest::newRow("never checked in") << -1 << 0;
    }

    void watchdogReportsLatePointsOnce()
    {
        QFETCH(int, hoursAgo);
        QFETCH(int, reports);
        test::ConsoleFixture f;
        const qint64 point = test::Installation(*f.conn).point(
            f.melder, QStringLiteral("99"), QStringLiteral("24-uurs test"), 0, 0, true);
        if (hoursAgo >= 0) {
            // A check-in through the report store sets the point's date and clears tolate.
            QVERIFY(f.conn->exec(QStringLiteral("UPDATE alarmen SET tolate = true WHERE id = ?"),
                                 {point}));
            f.clock.advanceSecs(-hoursAgo * 3600);
            f.report({QStringLiteral("99")});
            f.clock.advanceSecs(hoursAgo * 3600);
            QCOMPARE(f.number(QStringLiteral("SELECT tolate FROM alarmen WHERE id = ?"), {point}),
                     0);
            f.console.showNewActueel(); // the check-in itself is not listed
        }
        QSignalSpy listed(&f.console, &Console::actueelAdded);
        f.sms.sent.clear();
        f.console.quarterHourTick();
        f.console.quarterHourTick();
        f.settle();
        QCOMPARE(listed.size(), reports);
        QCOMPARE(f.number(QStringLiteral("SELECT tolate FROM alarmen WHERE id = ?"), {point}),
                 reports);
        if (reports) {
            QVERIFY(!f.sms.sent.isEmpty());
            QVERIFY(f.sms.sent[0].text.contains(
                QStringLiteral("\rRegelaar heeft zich niet op tijd gemeld! 99 24-uurs test Op\r")));
        }
    }

    void testAlarmsCarryTheTestNames()
    {
        test::ConsoleFixture f;
        QSignalSpy tree(&f.console, &Console::melderTreeChanged);
        QVERIFY(f.console.makeTestAlarms(2, 3));
        auto q = f.conn->query(
            QStringLiteral("SELECT alarmen.functie, melders.naam, melders.alias FROM meldindex "
                           "JOIN alarmen ON alarmen.id = meldindex.alarm_id JOIN melders ON "
                           "melders.id = meldindex.melder_id ORDER BY meldindex.id"));
        QVERIFY(q);
        QStringList rows;
        while (q->next())
            rows << q->value(0).toString() + QLatin1Char('|') + q->value(1).toString() +
                        QLatin1Char('|') + q->value(2).toString();
        QCOMPARE(rows,
                 (QStringList{QStringLiteral("TestFunctie|Taviro Test Melder|TestOSNr"),
                              QStringLiteral("TestFunctie2|Taviro Test Melder 1|TestOSNr1"),
                              QStringLiteral("TestFunctie3|Taviro Test Melder 1|TestOSNr1"),
                              QStringLiteral("TestFunctie1|Taviro Test Melder 2|TestOSNr2"),
                              QStringLiteral("TestFunctie2|Taviro Test Melder 2|TestOSNr2"),
                              QStringLiteral("TestFunctie3|Taviro Test Melder 2|TestOSNr2")}));
        QCOMPARE(tree.size(), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM melders WHERE %1 = true")
                              .arg(f.conn->id(QStringLiteral("new")))),
                 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE seen = true")), 1);
    }

    // The settings' test alarm is forwarded by the same road as an alarm,
    // and the installer is told what became of it.
    void testAlarmGoesThroughTheWholeChain_data()
    {
        QTest::addColumn<bool>("planned");
        QTest::addColumn<bool>("bemand");
        QTest::addColumn<int>("dispatches");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("on duty") << true << false << 2
                                 << QStringList{QStringLiteral("Uitgemeld aan:"), QStringLiteral("- Jan de Vries: "),
                                                QStringLiteral("- Marieke Bakker: "),
                                                QStringLiteral(": per SMS verzonden")};
        QTest::newRow("manned") << true << true << 0
                                << QStringList{QStringLiteral("opgenomen"), QStringLiteral("de meldkamer is bemand")};
        QTest::newRow("nobody on duty") << false << false << 0
                                        << QStringList{QStringLiteral("niemand heeft dienst voor de melder "
                                                                      "\"Taviro Test Melder\"")};
    }

    void testAlarmGoesThroughTheWholeChain()
    {
        QFETCH(bool, planned);
        QFETCH(bool, bemand);
        QFETCH(int, dispatches);
        QFETCH(QStringList, told);
        test::ConsoleFixture f;
        if (planned) {
            test::Installation inst(*f.conn);
            inst.transmitter(QStringLiteral("TestOSNr"), QStringLiteral("Taviro Test Melder"), 1, f.week, 0);
            QVERIFY(inst.ok());
        }
        f.console.setBemand(bemand);
        QSignalSpy listed(&f.console, &Console::actueelAdded);
        auto id = f.console.makeTestAlarms(1, 1);
        QVERIFY(id);
        QCOMPARE(listed.size(), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE ontvanger_id <> 0")), dispatches);
        if (dispatches > 0) {
            // Delivered by the normal pass: the first SMS went out with the test line in it.
            QVERIFY(!f.sms.sent.isEmpty());
            QVERIFY(f.sms.sent.first().text.contains(QStringLiteral("TestOmschrijving")));
        } else {
            f.settle();
            QVERIFY(f.sms.sent.isEmpty());
        }
        auto text = f.console.describeTestReport(*id);
        QVERIFY2(text, qPrintable(text.error()));
        for (const QString& part : told)
            QVERIFY2(text->contains(part), qPrintable(*text));
    }

    // The switch owed since the console was manned is made once, however
    // late the timer comes; none that passed before it was manned.
    void unmannedSchedule_data()
    {
        QTest::addColumn<QString>("monday");
        QTest::addColumn<bool>("actief");
        QTest::addColumn<QTime>("mannedAt");
        QTest::addColumn<QString>("ticks"); // "hh:mm:ss", "+hh:mm:ss" manned again first
        QTest::addColumn<int>("switches");
        QTest::addColumn<bool>("mannedAtEnd");
        const QTime five(17, 0);
        QTest::newRow("in the minute") << "17:30" << true << five << "17:30:59" << 1 << false;
        QTest::newRow("a minute early") << "17:30" << true << five << "17:29:59" << 0 << true;
        QTest::newRow("the tick a minute late") << "17:30" << true << five << "17:31:00" << 1 << false;
        QTest::newRow("the machine slept two hours") << "17:30" << true << five << "19:31:10" << 1 << false;
        QTest::newRow("two ticks in the minute") << "17:30" << true << five << "17:30:01 17:30:59" << 1 << false;
        QTest::newRow("manned again after the switch")
            << "17:30" << true << five << "17:30:30 +17:35:00 17:40:00" << 1 << true;
        QTest::newRow("manned after the switch time") << "17:30" << true << QTime(17, 35) << "17:40:00" << 0 << true;
        QTest::newRow("without leading zero") << "8:00" << true << QTime(7, 0) << "08:00:30" << 1 << false;
        QTest::newRow("with seconds") << "17:30:00" << true << five << "17:30:10" << 1 << false;
        QTest::newRow("unreadable never") << "abc" << true << QTime(0, 0) << "23:59:00" << 0 << true;
        QTest::newRow("empty never") << "" << true << QTime(0, 0) << "23:59:00" << 0 << true;
        QTest::newRow("schedule switched off") << "17:30" << false << five << "17:30:30" << 0 << true;
    }

    void unmannedSchedule()
    {
        QFETCH(QString, monday);
        QFETCH(bool, actief);
        QFETCH(QTime, mannedAt);
        QFETCH(QString, ticks);
        QFETCH(int, switches);
        QFETCH(bool, mannedAtEnd);
        test::ConsoleFixture f;
        test::Installation(*f.conn).settings([&](Settings& s) {
            s.OnbemandRoosterActief = actief;
            s.maandag = monday;
        });
        const QDate monday7(2026, 12, 7);
        f.clock.set(QDateTime(monday7, mannedAt));
        f.console.setBemand(true);
        QSignalSpy login(&f.console, &Console::loginRequested);
        for (QString tick : ticks.split(QLatin1Char(' '))) {
            const bool manAgain = tick.startsWith(QLatin1Char('+'));
            f.clock.set(QDateTime(monday7, QTime::fromString(tick.remove(QLatin1Char('+')), QStringLiteral("HH:mm:ss"))));
            if (manAgain)
                f.console.setBemand(true);
            else
                f.console.dispatchTick();
        }
        QCOMPARE(login.size(), switches);
        QCOMPARE(f.console.bemand(), mannedAtEnd);
    }
};

QTEST_GUILESS_MAIN(TstConsole)
#include "tst_console.moc"
