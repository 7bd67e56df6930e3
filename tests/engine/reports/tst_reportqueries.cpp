#include "PendingDispatches.h"
#include "ReportDetail.h"
#include "ReportFixture.h"

using namespace taviro;
using namespace taviro::test;

class TestReportQueries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void visibleLines_data()
    {
        QTest::addColumn<bool>("lineActive");
        QTest::addColumn<bool>("uurs24");
        QTest::addColumn<bool>("tolate");
        QTest::addColumn<bool>("melderActive");
        QTest::addColumn<bool>("listed");
        QTest::newRow("ordinary line") << true << false << false << true << true;
        QTest::newRow("inactive line") << false << false << false << true << false;
        QTest::newRow("check-in of an ordinary point") << true << true << false << true << false;
        QTest::newRow("late check-in") << true << true << true << true << true;
        QTest::newRow("transmitter out of service") << true << false << false << false << false;
    }
    void visibleLines()
    {
        QFETCH(bool, lineActive);
        QFETCH(bool, uurs24);
        QFETCH(bool, tolate);
        QFETCH(bool, melderActive);
        QFETCH(bool, listed);
        ReportFixture f;
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE alarmen SET tolate = ?"), {sql::boolValue(tolate)}));
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE melders SET actief = ?"), {sql::boolValue(melderActive)}));
        const qint64 m = f.melding(f.at(2, 10, 15), false);
        f.line(m, f.dagtest, 0, f.at(2, 10, 15), lineActive, uurs24);
        auto d = loadMeldingDetail(*f.conn, m);
        QVERIFY2(d, qPrintable(d.error()));
        QCOMPARE(d->lines.size(), listed ? 1 : 0);
        QCOMPARE(d->naam, listed ? QStringLiteral("Kantoor Centrum") : QString());
    }

    void everyRecipientOfALine()
    {
        ReportFixture f;
        const qint64 m = f.melding(f.at(2, 10, 15), false);
        const qint64 l1 = f.line(m, f.inbraak, 1, f.at(2, 10, 15));
        const qint64 l2 = f.line(m, f.brand, 0, f.at(2, 10, 15));
        f.link(f.dispatch(f.jan, f.at(2, 10, 16), true, 1, 1, ReportFixture::kOperator, f.at(2, 10, 30)), l1);
        f.link(f.dispatch(f.marieke, f.at(2, 10, 16), false, 0), l1);
        f.link(f.dispatch(0, f.at(2, 10, 15), true, 0), l2); // booked, not forwarded
        auto d = loadMeldingDetail(*f.conn, m);
        QVERIFY(d);
        QCOMPARE(d->lines.size(), 2);
        QCOMPARE(d->lines[0].dispatches.size(), 2);
        QCOMPARE(d->lines[0].dispatches[0].ontvanger, QStringLiteral("Jan de Vries"));
        QCOMPARE(d->lines[0].dispatches[0].stateText(), QStringLiteral("Bevestigd door Operator Een op 02-12 10:30"));
        QCOMPARE(d->lines[0].dispatches[1].ontvanger, QStringLiteral("Marieke Bakker"));
        QCOMPARE(d->lines[0].dispatches[1].stateText(), QStringLiteral("Wacht op verzending"));
        QVERIFY(d->lines[1].dispatches.isEmpty());
    }

    void lineFromBeforeTheLinkTable()
    {
        ReportFixture f;
        const qint64 m = f.melding(f.at(2, 10, 15), false);
        const qint64 u = f.dispatch(f.marieke, f.at(2, 10, 16), true, 2);
        f.line(m, f.inbraak, 1, f.at(2, 10, 15), true, false, u);
        auto d = loadMeldingDetail(*f.conn, m);
        QVERIFY(d);
        QCOMPARE(d->lines.size(), 1);
        QCOMPARE(d->lines[0].dispatches.size(), 1);
        // Handed over before the outbox knew it: nothing more can be said.
        QCOMPARE(d->lines[0].dispatches[0].stateText(), QStringLiteral("E-mail aangeboden"));

        // Queued in the outbox: waiting until the mail server took it.
        QVERIFY(outbox::queueMail(*f.conn, {outbox::dispatchKey(u), u, QStringLiteral("m@a.nl"), {}, {}, {}, {}, {}}));
        d = loadMeldingDetail(*f.conn, m);
        QVERIFY(d);
        QCOMPARE(d->lines[0].dispatches[0].stateText(), QStringLiteral("E-mail in wachtrij"));
        QVERIFY(f.conn->exec(QStringLiteral("UPDATE mailwachtrij SET status = 1")));
        d = loadMeldingDetail(*f.conn, m);
        QVERIFY(d);
        QCOMPARE(d->lines[0].dispatches[0].stateText(), QStringLiteral("E-mail verzonden"));
    }

    void dispatchStateTexts_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<qint64>("type");
        QTest::addColumn<qint64>("bevestigtype");
        QTest::addColumn<int>("mail"); // the outbox's status of its e-mail, -1: none known
        QTest::addColumn<QString>("text");
        QTest::newRow("SMS sent") << true << qint64(1) << qint64(0) << -1 << QStringLiteral("SMS verzonden (2x)");
        QTest::newRow("SMS sent, e-mail queued")
            << true << qint64(1) << qint64(0) << 0 << QStringLiteral("SMS verzonden (2x), e-mail in wachtrij");
        QTest::newRow("closed in bulk") << true << qint64(0) << qint64(0) << -1 << QStringLiteral("Gesloten zonder verzending");
        QTest::newRow("e-mail only, server down") << true << qint64(2) << qint64(0) << 0 << QStringLiteral("E-mail in wachtrij");
        QTest::newRow("e-mail only, taken by the server") << true << qint64(2) << qint64(0) << 1 << QStringLiteral("E-mail verzonden");
        QTest::newRow("e-mail only, given up") << true << qint64(2) << qint64(0) << 2 << QStringLiteral("E-mail mislukt");
        QTest::newRow("mail queued, SMS pending")
            << false << qint64(2) << qint64(0) << 0 << QStringLiteral("E-mail in wachtrij, SMS wacht");
        QTest::newRow("by recipient") << true << qint64(1) << qint64(2) << 1 << QStringLiteral("Bevestigd door ontvanger op 02-12 11:00");
    }
    void dispatchStateTexts()
    {
        QFETCH(bool, done);
        QFETCH(qint64, type);
        QFETCH(qint64, bevestigtype);
        QFETCH(int, mail);
        QFETCH(QString, text);
        DispatchState s;
        if (mail >= 0)
            s.mail = outbox::MailStatus(mail);
        s.done = done;
        s.uitmeldtype = type;
        s.pogingen = 2;
        s.bevestigtype = bevestigtype;
        s.bevestigdate = ReportFixture::at(2, 11, 0);
        QCOMPARE(s.stateText(), text);
    }

    void bulkCloseReachesEveryRecipient()
    {
        ReportFixture f;
        const qint64 m = f.melding(f.at(2, 10, 15), false);
        const qint64 l1 = f.line(m, f.inbraak, 1, f.at(2, 10, 15));
        const qint64 l2 = f.line(m, f.brand, 1, f.at(2, 10, 15));
        f.link(f.dispatch(f.jan, f.at(2, 10, 16), false, 1), l1);
        f.link(f.dispatch(f.marieke, f.at(2, 10, 16), false, 0), l1);
        f.link(f.dispatch(f.jan, f.at(2, 10, 16), true, 1), l2);
        // Another report's open dispatch that nobody asked to close.
        const qint64 other = f.melding(f.at(2, 9, 0), false);
        const qint64 otherDispatch = f.dispatch(f.jan, f.at(2, 9, 1), false, 0);
        f.link(otherDispatch, f.line(other, f.inbraak, 1, f.at(2, 9, 0)));

        auto open = listOpenMeldingen(*f.conn);
        QVERIFY(open);
        QCOMPARE(open->size(), 2);
        QCOMPARE(open->first().meldingId, m); // newest first
        QCOMPARE(open->first().adres, QStringLiteral("Stationsweg 1"));

        auto closed = closeOpenDispatches(*f.conn, {m}, {f.kOperator, f.at(2, 11, 0)});
        QVERIFY2(closed, qPrintable(closed.error()));
        QCOMPARE(*closed, 3); // both open ones, and the sent SMS repetition would send again
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = false")), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT done FROM uitmeld WHERE id = ?"), {otherDispatch}), 0);
        QCOMPARE(f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype = 3 AND bevestiger = ?"),
                          {f.kOperator}),
                 3);
        // Attempts and the report's place in the list stay.
        QCOMPARE(f.number(QStringLiteral("SELECT SUM(pogingen) FROM uitmeld")), 1);
        QCOMPARE(f.number(QStringLiteral("SELECT show FROM meldingen WHERE id = ?"), {m}), 1);
        QCOMPARE(listOpenMeldingen(*f.conn)->size(), 1);
    }

    void bulkCloseInBatchesWithProgress()
    {
        ReportFixture f;
        QList<qint64> ids;
        for (int i = 0; i < 600; ++i) {
            const qint64 m = f.melding(f.at(1, 0, 0).addSecs(60 * i), false);
            f.link(f.dispatch(f.jan, f.at(1, 0, 0), false, 0), f.line(m, f.inbraak, 1, f.at(1, 0, 0)));
            ids << m;
        }
        QList<int> steps;
        auto closed = closeOpenDispatches(*f.conn, ids, {f.kOperator, f.at(2, 0, 0)}, [&](int done, int total) {
            QCOMPARE(total, 600);
            steps << done;
        });
        QVERIFY(closed);
        QCOMPARE(*closed, 600);
        QCOMPARE(steps, (QList<int>{250, 500, 600}));
        QVERIFY(listOpenMeldingen(*f.conn)->isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestReportQueries)
#include "tst_reportqueries.moc"
