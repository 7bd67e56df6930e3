#include "MessageComposer.h"

#include <QTest>

using namespace taviro;

// The SMS packing rule: every piece begins with its transmitter's header and
// is padded to a multiple of 145 characters.
class TstMessageComposer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void packSms_data()
    {
        QTest::addColumn<int>("header");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<QList<int>>("pieces"); // unpadded length of each piece
        QTest::newRow("one short line") << 60 << QList<int>{40} << QList<int>{100};
        QTest::newRow("third line starts a piece") << 40 << QList<int>{50, 50, 50} << QList<int>{140, 90};
        QTest::newRow("exactly 145 fits") << 45 << QList<int>{50, 50, 10} << QList<int>{145, 55};
        QTest::newRow("oversize piece keeps the group") << 150 << QList<int>{50, 20, 20} << QList<int>{240};
        QTest::newRow("header plus line over 145") << 100 << QList<int>{100, 10} << QList<int>{210};
    }

    void packSms()
    {
        QFETCH(int, header);
        QFETCH(QList<int>, lines);
        QFETCH(QList<int>, pieces);
        SmsGroup g{QString(header - 1, QLatin1Char('h')) + QLatin1Char('\r'), {}};
        for (int i = 0; i < lines.size(); ++i)
            g.lines << QString(lines[i] - 1, QChar(u'a' + i)) + QLatin1Char('\r');
        const QString text = MessageComposer::packSms({g});

        QString expected;
        int next = 0;
        for (int len : pieces) {
            QString piece = g.header;
            while (piece.size() < len)
                piece += g.lines[next++];
            QCOMPARE(piece.size(), len);
            expected += piece;
            while (expected.size() % MessageComposer::kSmsPieceLength != 0)
                expected += QLatin1Char(' ');
        }
        QCOMPARE(next, lines.size());
        QCOMPARE(text, expected);
    }

    void secondTransmitterStartsNewPiece()
    {
        const SmsGroup a{QStringLiteral("> A 1 x y\r"), {QStringLiteral("01 Brand Op\r")}};
        const SmsGroup b{QStringLiteral("> B 2 x y\r"), {QStringLiteral("02 Inbraak Af\r")}};
        const QString text = MessageComposer::packSms({a, b});
        QCOMPARE(text.size(), 290);
        QVERIFY(text.startsWith(a.header + a.lines[0]));
        QCOMPARE(text.mid(145, b.header.size()), b.header);
    }

    // A recipient's address field as stored by any program: what is left
    // after the white space around it decides whether a mail can go at all.
    void trimAddress_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("address");
        QTest::newRow("tab after it") << QStringLiteral("jan.devries@example.nl\t") << QStringLiteral("jan.devries@example.nl");
        QTest::newRow("only tabs") << QString(32, QLatin1Char('\t')) << QString();
        QTest::newRow("blanks and breaks") << QStringLiteral(" \r\na@example.nl\r\nb@example.nl \r\n")
                                           << QStringLiteral("a@example.nl\r\nb@example.nl");
    }
    void trimAddress()
    {
        QFETCH(QString, stored);
        QFETCH(QString, address);
        QCOMPARE(taviro::trimAddress(stored), address);
    }
};

QTEST_GUILESS_MAIN(TstMessageComposer)
#include "tst_messagecomposer.moc"
