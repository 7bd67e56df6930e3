// The room at a glance as an installer reads it: what the heartbeat rows,
// the dispatches and the mail outbox hold.

#include "MailOutbox.h"
#include "RoomStatus.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QRegularExpression>
#include <QTest>

using namespace taviro;

class TstRoomStatus : public QObject
{
    Q_OBJECT

    const QDateTime m_now{QDate(2026, 12, 2), QTime(3, 0)};

    static void beat(const DatabaseConnector& c, const QString& naam, const QString& soort, bool bemand, int age)
    {
        QVERIFY(c.exec(QStringLiteral("INSERT INTO werkplek (naam, soort, gebruiker, bemand, hartslag, host, pid, "
                                      "stilgemeld) VALUES (?, ?, ?, ?, %1 - ?, 'h', 1, ?)")
                           .arg(sql::serverNowSeconds(c.dialect())),
                       {naam, soort, bemand ? QStringLiteral("Anna") : QString(), sql::boolValue(bemand), age,
                        sql::boolValue(false)}));
    }
    void dispatch(const DatabaseConnector& c, bool done, int minutesAgo)
    {
        auto id = c.insert(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, %1, "
                                          "bevestiger, bevestigtype) VALUES (1, 0, ?, 0, ?, 0, 0)")
                               .arg(c.id(QStringLiteral("date"))),
                           {sql::boolValue(done), sql::dateValue(m_now.addSecs(-60 * minutesAgo), c.dialect())});
        QVERIFY(id.ok());
        QVERIFY(c.exec(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, 1)"), {*id}));
    }

private Q_SLOTS:
    void showsWhatTheDatabaseHolds_data()
    {
        QTest::addColumn<bool>("modemReady");
        QTest::addColumn<bool>("outbox");
        QTest::addColumn<QStringList>("expected"); // patterns of lines that must appear
        QTest::addColumn<QString>("summary");
        QTest::newRow("as built today")
            << false << false
            << QStringList{QStringLiteral("^  console C1: hartslag 1\\d s geleden, bemand \\(Anna\\)$"),
                           QStringLiteral("^  station S1: hartslag 3 min geleden, onbemand$"),
                           QStringLiteral("^Openstaande uitmeldingen: 2, de oudste 7 min oud$"),
                           QStringLiteral("^Escalaties zonder bevestiging: 0$"),
                           QStringLiteral("^E-mail wachtrij: 0 wachtend, 0 mislukt$")}
            << QStringLiteral("bemand; 2 openstaand (oudste 7 min); 0 escalatie(s); e-mail 0 wachtend, 0 mislukt");
        QTest::newRow("a ready modem, mail waiting and given up")
            << true << true
            << QStringList{QStringLiteral("^  station S1: hartslag 3 min geleden, onbemand, GSM-modem kan verzenden$"),
                           QStringLiteral("^E-mail wachtrij: 2 wachtend, 1 mislukt$")}
            << QStringLiteral("bemand; 2 openstaand (oudste 7 min); 0 escalatie(s); e-mail 2 wachtend, 1 mislukt");
    }
    void showsWhatTheDatabaseHolds()
    {
        QFETCH(bool, modemReady);
        QFETCH(bool, outbox);
        QFETCH(QStringList, expected);
        QFETCH(QString, summary);
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        ConnectorPtr c = db.connect();
        beat(*c, QStringLiteral("C1"), QStringLiteral("console"), true, 12);
        beat(*c, QStringLiteral("S1"), QStringLiteral("station"), false, 200);
        if (modemReady)
            QVERIFY(c->exec(QStringLiteral("UPDATE werkplek SET gsmklaar = ? WHERE naam = 'S1'"), {sql::boolValue(true)}));
        dispatch(*c, false, 7);
        dispatch(*c, false, 2);
        dispatch(*c, true, 30); // sent: not open
        if (outbox) {
            // Two waiting, one given up, and a sent one that no longer counts.
            for (int i = 0; i < 4; ++i) {
                auto queued = outbox::queueMail(*c, {QStringLiteral("proef %1").arg(i), 0, QStringLiteral("a@b.nl"),
                                                     QStringLiteral("A"), QStringLiteral("s"), QStringLiteral("b"), {}, {}});
                QVERIFY2(queued.ok(), qPrintable(queued.error()));
            }
            QVERIFY(c->exec(QStringLiteral("UPDATE mailwachtrij SET status = ? WHERE sleutel = 'proef 2'"),
                            {sql::keyValue(qint64(outbox::MailStatus::Failed))}));
            QVERIFY(c->exec(QStringLiteral("UPDATE mailwachtrij SET status = ? WHERE sleutel = 'proef 3'"),
                            {sql::keyValue(qint64(outbox::MailStatus::Sent))}));
        }
        auto status = readRoomStatus(*c, m_now);
        QVERIFY2(status.ok(), qPrintable(status.error()));
        const QStringList lines = status->lines();
        for (const QString& pattern : expected)
            QVERIFY2(!lines.filter(QRegularExpression(pattern)).isEmpty(),
                     qPrintable(pattern + QStringLiteral(" not in\n") + lines.join(QLatin1Char('\n'))));
        if (!modemReady)
            QVERIFY(!lines.join(QLatin1Char('\n')).contains(QStringLiteral("GSM-modem")));
        QCOMPARE(status->summary(), summary);
    }
};

QTEST_GUILESS_MAIN(TstRoomStatus)
#include "tst_roomstatus.moc"
