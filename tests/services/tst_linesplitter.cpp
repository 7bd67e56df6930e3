// The cutting of a serial byte stream into lines, with devices that never
// end a line.

#include "AtResponse.h"

#include <QTest>

using namespace taviro::modem;

class TestLineSplitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endlessBytesStayBounded_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<int>("chunks");
        QTest::addColumn<qsizetype>("discarded");
        QTest::addColumn<QList<QByteArray>>("lines"); // after a final "\r\nOK\r\n"
        QTest::newRow("ordinary lines") << QByteArray("AT\r\r\nOK\n") << 2 << qsizetype(0)
                                        << QList<QByteArray>{"AT", "OK", "AT", "OK", "OK"};
        QTest::newRow("a line of the longest length")
            << QByteArray(4096, 'x') << 1 << qsizetype(0) << QList<QByteArray>{QByteArray(4096, 'x'), "OK"};
        QTest::newRow("one byte longer") << QByteArray(4097, 'x') << 1 << qsizetype(4096)
                                         << QList<QByteArray>{"x", "OK"};
        // A unit on the wrong line speed: 10 MB of noise, read as the port hands it out.
        QTest::newRow("noise without a line end") << QByteArray(1000, '\x7f') << 10000 << qsizetype(10000000 / 4096 * 4096)
                                                  << QList<QByteArray>{QByteArray(10000000 % 4096, '\x7f'), "OK"};
    }
    void endlessBytesStayBounded()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(int, chunks);
        QFETCH(qsizetype, discarded);
        QFETCH(QList<QByteArray>, lines);
        LineSplitter splitter;
        qsizetype longest = 0;
        qsizetype thrownAway = 0;
        for (int i = 0; i < chunks; ++i) {
            splitter.feed(chunk);
            longest = std::max(longest, splitter.partial().size());
            thrownAway += splitter.takeDiscarded();
        }
        QVERIFY(longest <= 4096);
        QCOMPARE(thrownAway, discarded);
        splitter.feed("\r\nOK\r\n");
        QList<QByteArray> got;
        while (splitter.hasLine())
            got << splitter.takeLine();
        QCOMPARE(got, lines);
    }
};

QTEST_GUILESS_MAIN(TestLineSplitter)
#include "tst_linesplitter.moc"
