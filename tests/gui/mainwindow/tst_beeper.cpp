// Reports taken in together must be heard one by one: the operator counts
// the tones.
#include "Beeper.h"

#include <QElapsedTimer>
#include <QTest>

using namespace taviro;

class TestBeeper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachReportIsItsOwnTone_data()
    {
        QTest::addColumn<int>("reports");
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("three") << 3;
    }
    void eachReportIsItsOwnTone()
    {
        QFETCH(int, reports);
        QElapsedTimer clock;
        clock.start();
        QList<qint64> started;
        Beeper beeper([&] { started.append(clock.elapsed()); }, nullptr);
        for (int i = 0; i < reports; ++i)
            beeper.beep();
        QCOMPARE(started.size(), 1); // the first sounds at once
        QTRY_COMPARE_WITH_TIMEOUT(started.size(), reports, 5000);
        // A tone lasts half a second; the next one starts only after it.
        for (int i = 1; i < started.size(); ++i)
            QVERIFY2(started[i] - started[i - 1] >= 500, qPrintable(QString::number(started[i] - started[i - 1])));
        QTest::qWait(900);
        QCOMPARE(started.size(), reports); // and no extra ones
        QCOMPARE(beeper.waiting(), 0);
    }
};

QTEST_MAIN(TestBeeper)
#include "tst_beeper.moc"
