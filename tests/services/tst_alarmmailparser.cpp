// Alarm e-mails of the shapes diallers and controllers really send.

#include "AlarmMailParser.h"
#include "MimeText.h"

#include <QTest>

using namespace taviro;
using namespace taviro::alarmemail;

namespace {

const QDateTime Received(QDate(2026, 12, 6), QTime(10, 0, 0));

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

} // namespace

class TestAlarmMailParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsEveryShape_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("omschrijving"); // of the first line

        QTest::newRow("plain UTF-8, CRLF")
            << crlf("From: dialler@ketelhuis.test\nSubject: Alarm ketelhuis\nContent-Type: "
                    "text/plain; charset=utf-8\n"
                    "Content-Transfer-Encoding: 8bit\n\nGoedemorgen,\n\nMelder: 4711\nFunctie: 12\n"
                    "Omschrijving: Storing brander één\nFlank: Op\nFunctie: 13\nOmschrijving: "
                    "Waterdruk laag\nFlank: Af\n"
                    "\n-- \nVerzonden door de kiezer\n")
            << QStringLiteral("Alarm ketelhuis") << QStringLiteral("Storing brander één");
        QTest::newRow("plain, LF only, no MIME headers at all")
            << QByteArray("Subject: Alarm ketelhuis\n\nMelder: 4711\nFunctie: 12\nOmschrijving: "
                          "Storing brander \xc3\xa9\xc3\xa9n\n"
                          "Flank: Op\nFunctie: 13\nOmschrijving: Waterdruk laag\nFlank: Af\n")
            << QStringLiteral("Alarm ketelhuis") << QStringLiteral("Storing brander één");
        QTest::newRow("quoted-printable Latin-1 with soft breaks, encoded subject")
            << crlf("Subject: =?ISO-8859-1?Q?Storing_Caf=E9?=\nMIME-Version: 1.0\n"
                    "Content-Type: text/plain; charset=\"ISO-8859-1\"\nContent-Transfer-Encoding: "
                    "quoted-printable\n\n"
                    "Melder: 4711\nFunctie: 12\nOmschrijving: Storing brander =E9=E9n met een heel "
                    "lange tekst die=\n"
                    " doorloopt\nFlank: Op\nFunctie: 13\nOmschrijving: Waterdruk laag\nFlank: Af\n")
            << QStringLiteral("Storing Café")
            << QStringLiteral("Storing brander één met een heel lange tekst die doorloopt");
        QTest::newRow("base64 UTF-8, folded encoded subject")
            << (crlf("Subject: =?UTF-8?B?U3RvcmluZyDDqcOpbg==?=\n "
                     "=?UTF-8?Q?_ketel?=\nContent-Type: text/plain; charset=UTF-8\n"
                     "Content-Transfer-Encoding: base64\n\n") +
                QByteArray("Melder: 4711\r\nFunctie: 12\r\nOmschrijving: Storing brander "
                           "één\r\nFlank: 1\r\n"
                           "Functie: 13\r\nOmschrijving: Waterdruk laag\r\nFlank: 0\r\n")
                    .toBase64()
                    .insert(40, "\r\n") +
                "\r\n")
            << QStringLiteral("Storing één ketel") << QStringLiteral("Storing brander één");
        QTest::newRow("HTML only, table layout and entities")
            << crlf("Subject: Alarm\nContent-Type: text/html; charset=windows-1252\n\n"
                    "<html><head><style>td{color:red}</style></head><body><table>"
                    "<tr><td>Melder:</td><td>4711</td></tr><tr><td>Functie:</td><td>12</td></tr>"
                    "<tr><td>Omschrijving:</td><td>Storing brander &eacute;&eacute;n &amp; "
                    "pomp</td></tr>"
                    "<tr><td>Flank:</td><td>Op</td></tr><tr><td>Functie:</td><td>13</td></tr>"
                    "<tr><td>Omschrijving:</td><td>Waterdruk "
                    "laag</td></tr><tr><td>Flank:</td><td>Af</td></tr>"
                    "</table></body></html>\n")
            << QStringLiteral("Alarm") << QStringLiteral("Storing brander één & pomp");
        QTest::newRow("multipart alternative with an attachment: the plain part wins")
            << crlf("Subject: Alarm\nMIME-Version: 1.0\nContent-Type: multipart/mixed; "
                    "boundary=\"OUT\"\n\n"
                    "preamble\n--OUT\nContent-Type: multipart/alternative; boundary=IN\n\n"
                    "--IN\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: "
                    "quoted-printable\n\n"
                    "Melder: 4711\nFunctie: 12\nOmschrijving: Storing brander "
                    "=C3=A9=C3=A9n\nFlank: Op\n"
                    "Functie: 13\nOmschrijving: Waterdruk laag\nFlank: Af\n"
                    "--IN\nContent-Type: text/html\n\n<p>Melder: 9999</p>\n--IN--\n"
                    "--OUT\nContent-Type: text/plain; name=log.txt\nContent-Disposition: "
                    "attachment; filename=log.txt\n\n"
                    "Melder: 8888\n--OUT--\n")
            << QStringLiteral("Alarm") << QStringLiteral("Storing brander één");
        QTest::newRow("other key spellings and '=' as separator")
            << QByteArray(
                   "Subject: x\n\nOS-nummer = 4711\nFUNCTIE=12\n  omschrijving :  Storing brander "
                   "\xc3\xa9\xc3\xa9n  \n"
                   "Status: Alarm\nfunctiecode: 13\nTekst: Waterdruk laag\nToestand: Herstel\n")
            << QStringLiteral("x") << QStringLiteral("Storing brander één");
    }
    void readsEveryShape()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, subject);
        QFETCH(QString, omschrijving);
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY2(parsed.ok, qPrintable(parsed.problem));
        QCOMPARE(parsed.subject, subject);
        QCOMPARE(parsed.report.melderAlias, QStringLiteral("4711"));
        QCOMPARE(parsed.report.receivedAt, Received);
        QCOMPARE(parsed.report.lines.size(), 2);
        QCOMPARE(parsed.report.lines.at(0).functie, QStringLiteral("12"));
        QCOMPARE(parsed.report.lines.at(0).omschrijving, omschrijving);
        QCOMPARE(parsed.report.lines.at(0).flank, 1);
        QCOMPARE(parsed.report.lines.at(1).functie, QStringLiteral("13"));
        QCOMPARE(parsed.report.lines.at(1).omschrijving, QStringLiteral("Waterdruk laag"));
        QCOMPARE(parsed.report.lines.at(1).flank, 0);
        QCOMPARE(parsed.report.lines.at(1).date, Received);
    }

    void lineDateAndTransmitterName()
    {
        const ParsedAlarmMail parsed =
            parseAlarmMail("Subject: x\n\nMelder: 4711\nNaam: Ketelhuis Zuid\nFunctie: 12\nDatum: "
                           "05-12-2026 23:59:30\n",
                           Received);
        QVERIFY(parsed.ok);
        QCOMPARE(parsed.report.melderNaam, QStringLiteral("Ketelhuis Zuid"));
        QCOMPARE(parsed.report.lines.first().date,
                 QDateTime(QDate(2026, 12, 5), QTime(23, 59, 30)));
        QCOMPARE(parsed.report.lines.first().flank, 1); // no edge given: the alarm came up
    }

    void refusesWhatIsNoAlarm_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("problem");
        QTest::newRow("newsletter")
            << QByteArray("Subject: Nieuwsbrief\n\nBeste klant,\nop: maandag\n")
            << QStringLiteral("geen melder");
        QTest::newRow("no function")
            << QByteArray("Subject: x\n\nMelder: 4711\nOmschrijving: iets\n")
            << QStringLiteral("geen functie");
        QTest::newRow("two transmitters")
            << QByteArray("Subject: x\n\nMelder: 1\nFunctie: 2\nMelder: 3\n")
            << QStringLiteral("meer dan één melder");
        QTest::newRow("unknown edge")
            << QByteArray("Subject: x\n\nMelder: 1\nFunctie: 2\nFlank: misschien\n")
            << QStringLiteral("onbekende flank");
        QTest::newRow("unreadable date")
            << QByteArray("Subject: x\n\nMelder: 1\nFunctie: 2\nDatum: gisteren\n")
            << QStringLiteral("onleesbare datum");
        QTest::newRow("multipart without boundary")
            << QByteArray("Subject: x\nContent-Type: multipart/mixed\n\nMelder: 1\n")
            << QStringLiteral("geen tekst");
        QTest::newRow("only an attachment")
            << crlf("Subject: x\nContent-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: "
                    "application/pdf\n"
                    "Content-Transfer-Encoding: base64\n\nJVBERi0=\n--B--\n")
            << QStringLiteral("geen tekst");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("geen");
    }
    void refusesWhatIsNoAlarm()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, problem);
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY(!parsed.ok);
        QVERIFY2(parsed.problem.contains(problem), qPrintable(parsed.problem));
        QVERIFY(parsed.report.lines.isEmpty());
    }

    void endlessLineAndHugeAttachmentStayCheap()
    {
        QByteArray raw = "Subject: groot\nContent-Type: multipart/mixed; "
                         "boundary=B\n\n--B\nContent-Type: text/plain\n\n"
                         "Melder: 4711\nFunctie: 12\nOmschrijving: ";
        raw += QByteArray(5 * 1024 * 1024, 'x'); // a line without end
        raw +=
            "\n--B\nContent-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\n";
        raw += QByteArray(20 * 1024 * 1024, 'A').toBase64();
        raw += "\n--B--\n";
        QElapsedTimer timer;
        timer.start();
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY(parsed.ok);
        QCOMPARE(parsed.report.lines.first().functie, QStringLiteral("12"));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestAlarmMailParser)
#include "tst_alarmmailparser.moc"
