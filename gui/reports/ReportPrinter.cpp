#include "ReportPrinter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace taviro {

QList<PrintLine> printLayout(const MeldingDetail& d)
{
    QList<PrintLine> out;
    const auto add = [&out](const QString& text, int size, bool bold, bool italic = false) {
        out.append({text, size, bold, italic});
    };
    for (int i = 0; i < 6; ++i)
        add({}, 16, true);
    add(QStringLiteral("Taviro Melding Overzicht"), 16, true);
    add({}, 16, true);
    add({}, 16, true);

    const QChar tab = QLatin1Char('\t');
    add(tab + d.naam + QStringLiteral("  (") + d.alias + QLatin1Char(')'), 12, true);
    add({}, 12, true);
    for (const QString& field : {d.adres, d.plaats, d.land, d.telnr})
        add(tab + field, 12, true);
    for (int i = 0; i < 4; ++i)
        add({}, 12, true);

    for (const DetailLine& l : d.lines) {
        add(tab + l.melderNaam + QStringLiteral(" (") + l.melderAlias + QLatin1Char(')'), 8, false, true);
        add(QStringList{{}, l.functie, l.omschrijving, flankText(l.flank), generalDateText(l.meldingDate)}.join(tab), 10,
            false);
        add({}, 10, false);
    }
    return out;
}

std::unique_ptr<QPrinter> systemDefaultPrinter(QString* reason)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        if (reason)
            *reason = QStringLiteral("er is op deze werkplek geen standaardprinter ingesteld");
        return nullptr;
    }
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) {
        if (reason)
            *reason = QStringLiteral("de printer %1 is niet bereikbaar").arg(info.printerName());
        return nullptr;
    }
    return printer;
}

namespace {

Status render(const QList<PrintLine>& lines, QPrinter& printer)
{
    printer.setDocName(QStringLiteral("Taviro Melding Overzicht"));
    QPainter p;
    if (!p.begin(&printer))
        return Status::failure(printer.outputFileName().isEmpty()
                                   ? QStringLiteral("de printer %1 kan niet beginnen met afdrukken").arg(printer.printerName())
                                   : QStringLiteral("het bestand %1 kan niet worden geschreven").arg(printer.outputFileName()));
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal mm = printer.resolution() / 25.4;
    // Tabs go to fixed stops so the columns of the alarm lines line up on
    // paper: indent, function, description, edge, time. A field too wide for
    // its column is shortened rather than run into the next one.
    const QList<qreal> stops{0, 12 * mm, 32 * mm, 105 * mm, 120 * mm};
    qreal y = 0;
    for (const PrintLine& line : lines) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(line.pointSize);
        font.setBold(line.bold);
        font.setItalic(line.italic);
        p.setFont(font);
        const QFontMetricsF metrics(font, &printer);
        const qreal height = metrics.lineSpacing();
        if (y + height > page.height()) {
            printer.newPage();
            y = 0;
        }
        const QStringList fields = line.text.split(QLatin1Char('\t'));
        for (int i = 0; i < fields.size(); ++i) {
            if (fields[i].isEmpty())
                continue;
            const qreal x = stops.value(i, stops.last());
            const qreal room = (i + 1 < stops.size() && i + 1 < fields.size() ? stops[i + 1] : page.width()) - x - mm;
            p.drawText(QPointF(x, y + metrics.ascent()), metrics.elidedText(fields[i], Qt::ElideRight, room));
        }
        y += height;
    }
    if (!p.end())
        return Status::failure(QStringLiteral("de printer heeft het afdrukken afgebroken"));
    return {};
}

} // namespace

Status printMelding(const DatabaseConnector& conn, qint64 meldingId, QPrinter& printer)
{
    auto detail = loadMeldingDetail(conn, meldingId);
    if (!detail)
        return Status::failure(detail.error());
    return render(printLayout(*detail), printer);
}

Status printMeldingWithDialog(const DatabaseConnector& conn, qint64 meldingId, QWidget* parent)
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Melding afdrukken"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return printMelding(conn, meldingId, printer);
}

} // namespace taviro
