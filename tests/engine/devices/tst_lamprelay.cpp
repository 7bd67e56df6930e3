// The lamp on a station's port, lit for the operators of the consoles beside it.
#include "AlarmLamp.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "LampRelay.h"
#include "Repositories.h"
#include "TestDatabase.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace taviro;

class TstLampRelay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theLampBurnsWhileAnyConsoleAsks()
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        qputenv("TAVIRO_COM7", ptsname(master));
        test::TestDatabase db;
        QVERIFY2(db.ok(), qPrintable(db.error()));
        auto conn = db.connect();
        ComPort lampPort;
        lampPort.number = 7;
        lampPort.designation = 5;
        QVERIFY(ComPortRepository(*conn).insert(lampPort).ok());
        test::FakeClock clock;
        EventLog log(clock, db.folder() + QStringLiteral("/Logger/"));
        AlarmLamp lamp(log);
        QVERIFY(lamp.prepare(*conn));
        const QString portsLock = db.folder() + QStringLiteral("/taviro-ports.lock");
        LampRelayServer station(lamp, portsLock);
        QVERIFY(station.listening());

        auto first = std::make_unique<LampRelayClient>(portsLock);
        auto second = std::make_unique<LampRelayClient>(portsLock);
        QTRY_VERIFY(first->lampPresent() && second->lampPresent());
        QVERIFY(!lamp.isLit());

        first->setLit(true);
        QTRY_VERIFY(lamp.isLit());
        second->setLit(true);
        first->setLit(false); // one operator acknowledged; the other has not
        QTest::qWait(200);
        QVERIFY(lamp.isLit());
        second.reset(); // the other console closes (or crashes): its wish goes with it
        QTRY_VERIFY(!lamp.isLit());

        // A console that started first finds a station started later.
        LampRelayClient early(portsLock + QStringLiteral(".ander"));
        QTest::qWait(100);
        QVERIFY(!early.lampPresent());
        LampRelayServer late(lamp, portsLock + QStringLiteral(".ander"));
        QTRY_VERIFY_WITH_TIMEOUT(early.lampPresent(), 5000);
        early.setLit(true);
        QTRY_VERIFY(lamp.isLit());
        lamp.putOut();
        ::close(master);
        qunsetenv("TAVIRO_COM7");
    }
};

QTEST_GUILESS_MAIN(TstLampRelay)
#include "tst_lamprelay.moc"
