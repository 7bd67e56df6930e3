#include "SqlValues.h"

#include <QTest>

using namespace taviro;

// What other programs may have left in a shared database must read the same.
class TestSqlValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void datesReadInEveryStoredForm_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime moment(QDate(2026, 12, 31), QTime(23, 59, 58));
        QTest::newRow("our text") << QVariant(QStringLiteral("2026-12-31 23:59:58")) << moment;
        QTest::newRow("ISO with T") << QVariant(QStringLiteral("2026-12-31T23:59:58")) << moment;
        QTest::newRow("ISO with milliseconds") << QVariant(QStringLiteral("2026-12-31T23:59:58.000")) << moment;
        QTest::newRow("spaces around") << QVariant(QStringLiteral(" 2026-12-31 23:59:58 ")) << moment;
        QTest::newRow("a timestamp value") << QVariant(moment) << moment;
        QTest::newRow("no such day") << QVariant(QStringLiteral("2026-02-30 10:00:00")) << QDateTime();
        QTest::newRow("letters") << QVariant(QStringLiteral("2026-1x-31 23:59:58")) << QDateTime();
        QTest::newRow("empty") << QVariant(QString()) << QDateTime();
        QTest::newRow("null") << QVariant() << QDateTime();
    }
    void datesReadInEveryStoredForm()
    {
        QFETCH(QVariant, stored);
        QFETCH(QDateTime, expected);
        QCOMPARE(sql::toDate(stored), expected);
    }

    void booleansReadAsOlderProgramsWroteThem_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("1") << QVariant(1) << true;
        QTest::newRow("-1 (older programs)") << QVariant(-1) << true;
        QTest::newRow("0") << QVariant(0) << false;
        QTest::newRow("text true") << QVariant(QStringLiteral("true")) << true;
        QTest::newRow("text -1") << QVariant(QStringLiteral("-1")) << true;
        QTest::newRow("text 0") << QVariant(QStringLiteral("0")) << false;
        QTest::newRow("null") << QVariant() << false;
    }
    void booleansReadAsOlderProgramsWroteThem()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, expected);
        QCOMPARE(sql::toBool(stored), expected);
    }
};

QTEST_GUILESS_MAIN(TestSqlValues)
#include "tst_sqlvalues.moc"
