// The console's start-up of the serial receivers from the comports rows, with
// the real services on fake devices: one receiver per receiving port, a port
// that cannot be opened is named in the log and costs only itself, and the
// MES-6 unit's lines become reports.

#include "AlarmLamp.h"
#include "ChildProcess.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "FakeModem.h"
#include "Mes6Line.h"
#include "ReceiverProxies.h"
#include "ServiceHub.h"
#include "SqlValues.h"
#include "TestDatabase.h"

#include <QSignalSpy>
#include <QTest>

using namespace taviro;

class TestServiceHub : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void receiversStartFromTheComportsRows()
    {
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        auto conn = db.connect();
        test::FakeModem receiving, mes6, spraak;
        // Children inherit the console's TAVIRO_COM<n>, as in production.
        qputenv("TAVIRO_COM5", receiving.devicePath().toLocal8Bit());
        qputenv("TAVIRO_COM9", "/nonexistent/ttyS8");
        qputenv("TAVIRO_COM6", mes6.devicePath().toLocal8Bit());
        qputenv("TAVIRO_COM8", spraak.devicePath().toLocal8Bit());
        for (const auto& [com, designation] : {std::pair{5, 1}, {9, 1}, {6, 3}, {7, 3}, {8, 4}})
            QVERIFY(conn->exec(
                QStringLiteral(
                    "INSERT INTO comports (number, designation, baudrate, string, timeout, "
                    "databits, parity, stopbits, is_gsm) VALUES (?, ?, 9600, 'AT', 2, 8, 'N', 1, "
                    "?)"),
                {com, designation, sql::boolValue(false)}));
        test::FakeClock clock;
        EventLog log(clock, db.folder() + QStringLiteral("/Logger/"));
        QStringList screen;
        connect(&log, &EventLog::screenLine, this, [&screen](const QString& l) { screen << l; });
        AlarmLamp lamp(log);
        ServiceHub hub(*conn, log, lamp, test::binDir(), db.settings());
        QSignalSpy ready(&hub, &ServiceHub::meldingReady);

        hub.startServices();
        const auto receivers = hub.receiverControls();
        QCOMPARE(receivers.size(), 2);
        QCOMPARE(receivers[0]->objectName(), QStringLiteral("comsvr1"));
        QCOMPARE(receivers[1]->objectName(), QStringLiteral("comsvr2"));
        QVERIFY(receivers[0]->portOpen());
        QVERIFY(!receivers[1]->portOpen());
        QCOMPARE(screen.filter(QStringLiteral("Ontvang modus kan niet worden opgestart")).size(),
                 1);
        QVERIFY(screen.filter(QStringLiteral("Ontvang modus"))
                    .first()
                    .endsWith(QStringLiteral(
                        "COM 9 Ontvang modus kan niet worden opgestart. Check de compoorten.")));
        QVERIFY(screen.filter(QStringLiteral("MES6")).isEmpty());
        QVERIFY(screen.filter(QStringLiteral("Spraak")).isEmpty());

        // The first MES-6 row's port (COM 6) is the one listened to.
        const QByteArray body = "1,4711,01,Op,Inbraak hal";
        mes6.inject(body + '*' +
                    QByteArray::number(mes6::mes6Check(body), 16).rightJustified(2, '0') + "\r\n");
        QVERIFY(QTest::qWaitFor(
            [&] {
                return conn->scalar(QStringLiteral("SELECT COUNT(*) FROM meldingen"))->toInt() == 1;
            },
            10000));
        QVERIFY(QTest::qWaitFor([&] { return mes6.rawReceived().contains('\x06'); }, 5000));
        QVERIFY(ready.wait(5000) || !ready.isEmpty());
        mes6.inject("1,4711,01,Op,Inbraak hal*00\r\n"); // wrong check value
        QVERIFY(QTest::qWaitFor([&] { return mes6.rawReceived().contains('\x15'); }, 5000));
        QCOMPARE(conn->scalar(QStringLiteral("SELECT COUNT(*) FROM meldingen"))->toInt(), 1);

        // Starting again replaces the receivers.
        hub.startServices();
        QCOMPARE(hub.receiverControls().size(), 2);
        QVERIFY(hub.receiverControls()[0]->portOpen());
        hub.stopAll();
        QVERIFY(hub.receiverControls().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestServiceHub)
#include "tst_servicehub.moc"
