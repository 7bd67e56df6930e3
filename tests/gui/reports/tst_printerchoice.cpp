#include "EventLog.h"
#include "FakeClock.h"
#include "PrinterChoice.h"
#include "ReportPrinter.h"

#include <QFile>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace taviro;
using taviro::test::FakeClock;

// The workstation's printer: kept across console starts, and a printer that
// has been removed since never swallows a printout without a word.
class TestPrinterChoice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void choiceOutlivesTheConsole_data();
    void choiceOutlivesTheConsole();
    void removedPrinterFallsBackToTheDefaultWithALogLine();
};

void TestPrinterChoice::choiceOutlivesTheConsole_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("stored");
    QTest::newRow("a named printer") << QStringLiteral("Kantoor-HP") << QStringLiteral("Kantoor-HP");
    QTest::newRow("spaces and accents") << QStringLiteral("Meldkamer printer 2 (België)")
                                        << QStringLiteral("Meldkamer printer 2 (België)");
    QTest::newRow("nothing: the system default") << QString() << QString();
}

void TestPrinterChoice::choiceOutlivesTheConsole()
{
    QFETCH(QString, chosen);
    QFETCH(QString, stored);
    QTemporaryDir dir;
    FakeClock clock;
    EventLog log(clock, dir.filePath(QStringLiteral("Logger/")));
    const QString file = dir.filePath(QStringLiteral("config/taviro/printer.conf"));
    PrinterChoice(file, log).choose(QStringLiteral("Oude printer"));
    PrinterChoice(file, log).choose(chosen);

    const PrinterChoice later(file, log);
    QCOMPARE(later.chosenName(), stored);
    QCOMPARE(later.shownName(), stored.isEmpty() ? QPrinterInfo::defaultPrinterName() : stored);
}

void TestPrinterChoice::removedPrinterFallsBackToTheDefaultWithALogLine()
{
    QTemporaryDir dir;
    FakeClock clock;
    EventLog log(clock, dir.filePath(QStringLiteral("Logger/")));
    QStringList screen;
    connect(&log, &EventLog::screenLine, this, [&screen](const QString& line) { screen << line; });
    PrinterChoice choice(dir.filePath(QStringLiteral("printer.conf")), log);
    choice.choose(QStringLiteral("Weggehaalde-printer-7"));

    QString reason;
    QString defaultReason;
    const auto printer = choice.open(&reason);
    const auto fallback = systemDefaultPrinter(&defaultReason);
    // Whatever the default is on this machine, the printout goes there.
    QCOMPARE(bool(printer), bool(fallback));
    QCOMPARE(reason, defaultReason);
    if (printer)
        QCOMPARE(printer->printerName(), fallback->printerName());
    QCOMPARE(screen.size(), 1);
    QVERIFY2(screen.first().contains(QStringLiteral("Printer Weggehaalde-printer-7 is niet meer aanwezig")),
             qPrintable(screen.first()));
}

QTEST_MAIN(TestPrinterChoice)
#include "tst_printerchoice.moc"
