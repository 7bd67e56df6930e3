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
        QTest::newRow("HTML table, key in one cell and value in the next")
            << crlf("Subject: Alarm\nContent-Type: text/html; charset=utf-8\n\n"
                    "<table><tr><th>Veld</th><th>Waarde</th></tr>\n"
                    "<tr><td>Melder</td><td>4711</td></tr>\n<tr><td>Functie</td><td>12</td></tr>"
                    "<tr><td>Omschrijving</td><td>Storing brander één</td></tr>"
                    "<tr><td>Flank</td><td>Op</td></tr><tr><td>Functie</td><td>13</td></tr>"
                    "<tr><td>Omschrijving</td><td>Waterdruk laag</td>"
                    "<tr><td>Flank</td><td>Af</td></table>\n")
            << QStringLiteral("Alarm") << QStringLiteral("Storing brander één");
        QTest::newRow("HTML with unclosed script and comments around the text")
            << crlf("Subject: Alarm\nContent-Type: text/html\n\n<!-- kop --><p>Melder: 4711"
                    "<p>Functie: 12<p>Omschrijving: Storing brander &#233;&#xe9;n<p>Flank: "
                    "Op<p>Functie: 13<p>Omschrijving: Waterdruk laag<p>Flank: Af<p><script "
                    "type=x>var a = 1 < 2;\n")
            << QStringLiteral("Alarm") << QStringLiteral("Storing brander één");
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

    // Fields before the first function code describe that first line only;
    // a later line without its own edge is an alarm that came up.
    void fieldsBeforeTheFirstFunctionBelongToItAlone()
    {
        const ParsedAlarmMail parsed = parseAlarmMail(
            "Subject: x\n\nMelder: 4711\nOmschrijving: Brand hal\nFlank: Af\nDatum: 05-12-2026 "
            "23:59\nFunctie: 1\nFunctie: 2\nFunctie: 3\nOmschrijving: Deur\n",
            Received);
        QVERIFY2(parsed.ok, qPrintable(parsed.problem));
        QCOMPARE(parsed.report.lines.size(), 3);
        const QDateTime given(QDate(2026, 12, 5), QTime(23, 59));
        const QList<ReceivedLine>& l = parsed.report.lines;
        QCOMPARE(l.at(0).omschrijving, QStringLiteral("Brand hal"));
        QCOMPARE(l.at(0).flank, 0);
        QCOMPARE(l.at(0).date, given);
        QCOMPARE(l.at(1).omschrijving, QString());
        QCOMPARE(l.at(1).flank, 1);
        QCOMPARE(l.at(1).date, Received);
        QCOMPARE(l.at(2).omschrijving, QStringLiteral("Deur"));
        QCOMPARE(l.at(2).flank, 1);
    }

    // A transmitter whose clock is wrong, or a hostile mail, must not date a
    // check-in in the future: that would keep its watchdog quiet.
    void futureDateBecomesTheReceptionTime_data()
    {
        QTest::addColumn<QString>("datum");
        QTest::addColumn<QDateTime>("stored");
        QTest::addColumn<bool>("told");
        QTest::newRow("an hour ago") << QStringLiteral("06-12-2026 09:00") << Received.addSecs(-3600) << false;
        QTest::newRow("a clock two minutes fast")
            << QStringLiteral("2026-12-06 10:02:00") << Received.addSecs(120) << false;
        QTest::newRow("an hour ahead") << QStringLiteral("06-12-2026 11:00") << Received << true;
        QTest::newRow("next year") << QStringLiteral("2027-12-06T10:00:00") << Received << true;
    }
    void futureDateBecomesTheReceptionTime()
    {
        QFETCH(QString, datum);
        QFETCH(QDateTime, stored);
        QFETCH(bool, told);
        const ParsedAlarmMail parsed = parseAlarmMail(
            "Subject: x\n\nMelder: 4711\nFunctie: 99\nDatum: " + datum.toUtf8() + "\nFunctie: 1\n", Received);
        QVERIFY2(parsed.ok, qPrintable(parsed.problem));
        QCOMPARE(parsed.report.lines.at(0).date, stored);
        QCOMPARE(parsed.report.lines.at(1).date, Received);
        QCOMPARE(parsed.futureDates.size(), told ? 1 : 0);
        if (told)
            QVERIFY(parsed.futureDates.first().contains(QStringLiteral("(functie 99)")));
    }

    void aReportHoldsAtMost99Lines_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("99") << 99 << true;
        QTest::newRow("100") << 100 << false;
        QTest::newRow("5000") << 5000 << false;
    }
    void aReportHoldsAtMost99Lines()
    {
        QFETCH(int, lines);
        QFETCH(bool, accepted);
        QByteArray raw = "Subject: veel\n\nMelder: 4711\n";
        for (int i = 1; i <= lines; ++i)
            raw += "Functie: " + QByteArray::number(i) + "\n";
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QCOMPARE(parsed.ok, accepted);
        if (accepted) {
            QCOMPARE(parsed.report.lines.size(), lines);
        } else {
            QVERIFY(parsed.report.lines.isEmpty());
            QVERIFY2(parsed.problem.contains(QStringLiteral("meer dan 99 alarmregels")),
                     qPrintable(parsed.problem));
        }
    }

    void refusesWhatIsNoAlarm_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("problem");
        QTest::newRow("newsletter")
            << QByteArray("Subject: Nieuwsbrief\n\nBeste klant,\nop: maandag\n")
            << QStringLiteral("geen melder");
        QTest::newRow("empty transmitter number")
            << QByteArray("Subject: x\n\nMelder:\nFunctie: 2\n") << QStringLiteral("geen melder genoemd");
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

    void htmlBecomesLines_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text"); // lines, blanks simplified, empty lines left out
        QTest::newRow("key and value in two cells")
            << QStringLiteral("<table><tr><td>Melder</td><td>5015</td></tr></table>")
            << QStringLiteral("Melder : 5015");
        QTest::newRow("cells already separated")
            << QStringLiteral("<tr><td>Melder:</td><td>5015</td></tr>")
            << QStringLiteral("Melder: 5015");
        QTest::newRow("header cells and wide rows are no key")
            << QStringLiteral("<tr><th>Status</th><th>Tekst</th></tr><tr><td>a</td><td>b</td>"
                              "<td>c</td></tr>")
            << QStringLiteral("Status Tekst|a b c");
        QTest::newRow("closed script, style and head go with their content")
            << QStringLiteral("<head><title>t</title></head><style>p{}</style>a<SCRIPT>x</"
                              "script >b<br>c")
            << QStringLiteral("ab|c");
        QTest::newRow("unclosed script keeps what follows")
            << QStringLiteral("<script type=x>a<script>b<p>c") << QStringLiteral("ab|c");
        QTest::newRow("a closing tag of another element does not end a script")
            << QStringLiteral("<script></scripts></b>x</script>y") << QStringLiteral("y");
        QTest::newRow("comments, open and closed")
            << QStringLiteral("a<!-- <p>b --><p>c<!-- d") << QStringLiteral("a|c");
        QTest::newRow("lone angle brackets are text")
            << QStringLiteral("1 < 2 <> 3 <a") << QStringLiteral("1 < 2 <> 3 <a");
        QTest::newRow("entities") << QStringLiteral(
                                         "&eacute;&#233;&#xE9;&amp;&bogus;&#0;&#x110000;& &")
                                  << QStringLiteral("ééé&&bogus;&#0;&#x110000;& &");
        QTest::newRow("every named entity of HTML 4")
            << QStringLiteral("Caf&eacute; Bl&oacute;k&nbsp;2 &ndash; &hellip;&Omega;&thetasym;&euro;&apos;&Oacute;x")
            << QStringLiteral("Café Blók 2 – …Ωϑ€'Óx");
        QTest::newRow("names are case-sensitive and need their semicolon")
            << QStringLiteral("&OACUTE; &oacute &ndash") << QStringLiteral("&OACUTE; &oacute &ndash");
        QTest::newRow("line ends in HTML are blanks")
            << QStringLiteral("Melder:\r\n4711</p>Functie: 1")
            << QStringLiteral("Melder: 4711|Functie: 1");
    }
    void htmlBecomesLines()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        QStringList lines;
        for (const QString& line : htmlToText(html).split(QLatin1Char('\n')))
            if (!line.simplified().isEmpty())
                lines << line.simplified();
        QCOMPARE(lines.join(QLatin1Char('|')), text);
    }

    // Shapes that once made reading slow or could: each must be read in one
    // pass, and the alarm after the junk still counts.
    void hostileHtmlStillReadsTheAlarm_data()
    {
        QTest::addColumn<QByteArray>("junk");
        QTest::addColumn<int>("times");
        QTest::newRow("script never closed") << QByteArray("<script ") << 30000;
        QTest::newRow("style with endless closing tags") << QByteArray("<style></") << 25000;
        QTest::newRow("tags never ended") << QByteArray("<a") << 30000;
        QTest::newRow("angle brackets") << QByteArray("<<") << 30000;
        QTest::newRow("half entities") << QByteArray("&#1234567") << 20000;
        QTest::newRow("cells without rows") << QByteArray("<td>x") << 30000;
    }
    void hostileHtmlStillReadsTheAlarm()
    {
        QFETCH(QByteArray, junk);
        QFETCH(int, times);
        const QByteArray raw = "Subject: x\nContent-Type: text/html\n\n" + junk.repeated(times) +
                               "<p>Melder: 4711<p>Functie: 12<p>";
        QVERIFY(raw.size() < MaxTextBytes);
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY2(parsed.ok, qPrintable(parsed.problem));
        QCOMPARE(parsed.report.lines.size(), 1);
        QCOMPARE(parsed.report.lines.first().functie, QStringLiteral("12"));
    }

    // Only the first part of a long text is read; what lies beyond is
    // counted, so the receiver can say so.
    void longTextIsCut_data()
    {
        QTest::addColumn<QByteArray>("transferEncoding");
        QTest::addColumn<bool>("alarmFirst");
        QTest::newRow("8bit, alarm first") << QByteArray("8bit") << true;
        QTest::newRow("base64, alarm first") << QByteArray("base64") << true;
        QTest::newRow("8bit, alarm beyond the limit") << QByteArray("8bit") << false;
    }
    void longTextIsCut()
    {
        QFETCH(QByteArray, transferEncoding);
        QFETCH(bool, alarmFirst);
        const QByteArray alarm = "Melder: 4711\nFunctie: 12\nOmschrijving: Brand \xc3\xa9\n";
        // Two-byte characters, so the cut falls inside one.
        const QByteArray filler = QByteArray("\xc3\xa9 \n").repeated(200 * 1024);
        QByteArray body = alarmFirst ? alarm + filler : filler + alarm;
        if (transferEncoding == "base64")
            body = body.toBase64();
        const ParsedAlarmMail parsed = parseAlarmMail(
            "Subject: lang\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: " +
                transferEncoding + "\n\n" + body,
            Received);
        QCOMPARE(parsed.ignoredBytes, filler.size() + alarm.size() - MaxTextBytes);
        QCOMPARE(parsed.ok, alarmFirst);
        if (alarmFirst) // the cut character did not turn the text into another code page
            QCOMPARE(parsed.report.lines.first().omschrijving, QStringLiteral("Brand é"));
        else
            QVERIFY(parsed.problem.contains(QStringLiteral("geen melder")));
    }

    void oversizedStructureIsNoText()
    {
        // A boundary far beyond any mail program's would make every search
        // for it cost its length.
        const QByteArray boundary(100000, 'b');
        QByteArray raw = "Subject: x\nContent-Type: multipart/mixed; boundary=" + boundary +
                         "\n\n--" + boundary + "\n\nMelder: 1\nFunctie: 2\n--" + boundary + "--\n";
        QCOMPARE(parseAlarmMail(raw, Received).problem, QStringLiteral("geen tekst in de mail"));
        // An endless subject is cut for the log; the alarm is read.
        raw = "Subject: " + QByteArray("=?utf-8?q?a?= ").repeated(100000) +
              "\n\nMelder: 1\nFunctie: 2\n";
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY(parsed.ok);
        QVERIFY(parsed.subject.size() < 1000);
    }

    void emptyPartsCostNothing()
    {
        // Each empty part between two delimiters was once read as the whole
        // rest of the mail, so a mail of empty parts took hours.
        const QByteArray raw =
            "Subject: x\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\nMelder: "
            "1\r\nFunctie: 2\r\n" +
            QByteArray("--B\r\n").repeated(400000) + "--B--\r\n";
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY2(parsed.ok, qPrintable(parsed.problem));
        QCOMPARE(parsed.report.lines.size(), 1);
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
        const ParsedAlarmMail parsed = parseAlarmMail(raw, Received);
        QVERIFY(parsed.ok);
        QCOMPARE(parsed.report.lines.first().functie, QStringLiteral("12"));
        QVERIFY(parsed.ignoredBytes > 0);
    }
};

QTEST_GUILESS_MAIN(TestAlarmMailParser)
#include "tst_alarmmailparser.moc"
