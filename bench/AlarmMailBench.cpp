// taviro-bench-alarmmail [MB]: how long reading one alarm mail takes for
// hostile and ordinary mails of MB megabytes (default 2), and for the HTML
// step alone on the whole input, to show the time grows with the length.

#include "AlarmMailParser.h"
#include "MimeText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

using namespace taviro::alarmemail;

namespace {

const QByteArray Alarm = "Melder: 4711\r\nFunctie: 12\r\nOmschrijving: Brand hal\r\n";
const QByteArray HtmlAlarm = "<p>Melder: 4711<p>Functie: 12<p>Omschrijving: Brand hal<p>";

QByteArray htmlMail(const QByteArray& body)
{
    return "Subject: bench\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + body;
}

QByteArray fill(const QByteArray& piece, qsizetype bytes)
{
    return piece.repeated(std::max<qsizetype>(1, bytes / piece.size()));
}

void time(QTextStream& out, const char* what, const QByteArray& raw)
{
    QElapsedTimer t;
    t.start();
    const ParsedAlarmMail parsed = parseAlarmMail(raw, QDateTime::currentDateTime());
    out << QStringLiteral("%1 (%2 KB): %3 ms, %4\n")
               .arg(QLatin1String(what))
               .arg(raw.size() / 1024)
               .arg(t.elapsed())
               .arg(parsed.ok ? QStringLiteral("alarm gelezen") : parsed.problem);
}

void timeHtml(QTextStream& out, const char* what, const QByteArray& html)
{
    const QString text = QString::fromLatin1(html);
    QElapsedTimer t;
    t.start();
    const qsizetype length = htmlToText(text).size();
    out << QStringLiteral("  HTML-stap alleen, %1 (%2 KB): %3 ms (%4 tekens)\n")
               .arg(QLatin1String(what))
               .arg(html.size() / 1024)
               .arg(t.elapsed())
               .arg(length);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qsizetype mb = std::max(1, app.arguments().value(1, QStringLiteral("2")).toInt());
    const qsizetype bytes = mb * 1024 * 1024;
    QTextStream out(stdout);

    const QByteArray hostile = fill("<script ", bytes);
    const QByteArray tableRow = "<tr><td>Omschrijving</td><td>Pomp &eacute;&eacute;n</td></tr>\r\n";
    time(out, "vijandige HTML, <script zonder einde", htmlMail(HtmlAlarm + hostile));
    time(out, "gewone HTML-tabel",
         htmlMail(HtmlAlarm + "<table>" + fill(tableRow, bytes) + "</table>"));
    time(out, "gewone platte tekst",
         "Subject: bench\r\nContent-Type: text/plain\r\n\r\n" + Alarm +
             fill("Een gewone regel tekst in een lange mail.\r\n", bytes));
    time(out, "veel lege MIME-delen",
         "Subject: bench\r\nContent-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\n\r\n" + Alarm +
             fill("--B\r\n", bytes) + "--B--\r\n");
    for (const qsizetype factor : {1, 4}) {
        timeHtml(out, "vijandig", fill("<script ", factor * bytes));
        timeHtml(out, "tabel", fill(tableRow, factor * bytes));
    }
    return 0;
}
