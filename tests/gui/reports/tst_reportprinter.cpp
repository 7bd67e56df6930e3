#include "ReportsGuiFixture.h"

#include <QRegularExpression>

using namespace taviro;
using namespace taviro::test;

namespace {

// True when every word of `expected` appears in `text` in the same order:
// a wrapped text passes, a shortened or cut one does not.
bool wordsInOrder(const QString& text, const QString& expected, QString* missing)
{
    qsizetype at = 0;
    for (const QString& word : expected.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype found = text.indexOf(word, at);
        if (found < 0) {
            *missing = word;
            return false;
        }
        at = found + word.size();
    }
    return true;
}

QString longText(int length)
{
    static const QStringList words{QStringLiteral("brandmelder"), QStringLiteral("één"), QStringLiteral("ruimte"),
                                   QStringLiteral("café"), QStringLiteral("ontruiming"), QStringLiteral("’s nachts"),
                                   QStringLiteral("Zoë's"), QStringLiteral("sprinkler"), QStringLiteral("hoofdingang")};
    QString out;
    for (int i = 0; out.size() < length; ++i)
        out += words[i % words.size()] + QString::number(i) + QLatin1Char(' ');
    return out.left(length).trimmed();
}

} // namespace

class TestReportPrinter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every text reaches the paper whole, however long, whatever its characters.
    void everyTextIsPrintedWhole_data()
    {
        QTest::addColumn<QString>("functie");
        QTest::addColumn<QString>("omschrijving");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("oneLine"); // short enough to stay on one printed line
        QTest::newRow("zone code") << QStringLiteral("ZONE-0142-A") << QStringLiteral("Brandmelding hal: ontruiming starten")
                                   << 1 << true;
        QTest::newRow("Dutch and apostrophes") << QStringLiteral("Café 't Hoekje")
                                               << QStringLiteral("Rookmelder één, ’s nachts; Zoë's ruimte") << 1 << true;
        QTest::newRow("2,000 characters") << QStringLiteral("B-01") << longText(2000) << 1 << false;
        QTest::newRow("long function and description") << longText(200) << longText(600) << 2 << false;
        QTest::newRow("99 lines") << QStringLiteral("ZONE-0142-A") << QStringLiteral("Brandmelding hal: ontruiming starten")
                                  << 99 << true;
    }
    void everyTextIsPrintedWhole()
    {
        QFETCH(QString, functie);
        QFETCH(QString, omschrijving);
        QFETCH(int, lines);
        QFETCH(bool, oneLine);
        ReportsGuiFixture f;
        Installation inst(*f.conn);
        const qint64 m = f.melding(f.at(2, 10, 15), false);
        for (int i = 0; i < lines; ++i) {
            const QString suffix = lines > 1 ? QStringLiteral("/%1").arg(i + 1) : QString();
            f.line(m, inst.point(f.melder, functie + suffix, omschrijving), 1, f.at(2, 10, 15));
        }
        QVERIFY(inst.ok());
        auto printer = f.pdfPrinter(f.pdfPath)(nullptr);
        const Status s = printMelding(*f.conn, m, *printer);
        QVERIFY2(s, qPrintable(s.error()));
        printer.reset();
        const QString raw = ReportsGuiFixture::pdfText(f.pdfPath);
        const QString text = raw.simplified();
        QVERIFY2(!text.contains(QChar(0x2026)), "a text was shortened"); // no ellipsis anywhere
        QString missing;
        for (int i = 0; i < lines; ++i) {
            const QString suffix = lines > 1 ? QStringLiteral("/%1").arg(i + 1) : QString();
            QVERIFY2(wordsInOrder(text, functie + suffix, &missing), qPrintable(missing));
        }
        QVERIFY2(wordsInOrder(text, omschrijving, &missing), qPrintable(missing));
        QCOMPARE(text.count(QStringLiteral("2-12-2026 10:15:00")), lines);
        if (oneLine) {
            // Function, description, edge and time side by side on one line.
            const QRegularExpression row(QRegularExpression::escape(functie) + QStringLiteral("\\S*\\s+")
                                         + QRegularExpression::escape(omschrijving) + QStringLiteral("\\s+op\\s+2-12-2026"));
            QCOMPARE(int(raw.count(row)), lines);
        }
    }
};

QTEST_MAIN(TestReportPrinter)
#include "tst_reportprinter.moc"
