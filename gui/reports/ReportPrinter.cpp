#include "ReportPrinter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextLayout>

#include <algorithm>

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
    return installedPrinter(info, reason);
}

std::unique_ptr<QPrinter> installedPrinter(const QPrinterInfo& info, QString* reason)
{
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) {
        if (reason)
            *reason = QStringLiteral("de printer %1 is niet bereikbaar").arg(info.printerName());
        return nullptr;
    }
    return printer;
}

namespace {

QFont printFont(const PrintLine& line)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(line.pointSize);
    font.setBold(line.bold);
    font.setItalic(line.italic);
    return font;
}

// One field broken into lines that fit its column: at word boundaries, and
// inside a word only when the word alone is wider than the column.
QStringList wrapField(const QString& text, const QFont& font, QPaintDevice* device, qreal width)
{
    QStringList out;
    if (text.isEmpty())
        return out;
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max<qreal>(width, 1));
        out << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return out;
}

struct Column
{
    qreal x = 0;
    qreal width = 0;
};

// The columns of the alarm lines (indent, function, description, edge, time)
// from what this report holds: function, edge and time as wide as their
// widest text, the description gets the rest. So nothing is cut; a text
// wider than its column wraps onto the next line of the same column.
QList<Column> alarmColumns(const QList<PrintLine>& lines, QPrinter& printer, qreal pageWidth, qreal mm)
{
    qreal functie = 0, flank = 0, tijd = 0;
    for (const PrintLine& line : lines) {
        const QStringList f = line.text.split(QLatin1Char('\t'));
        if (f.size() < 5)
            continue;
        const QFontMetricsF m(printFont(line), &printer);
        functie = std::max(functie, m.horizontalAdvance(f[1]));
        flank = std::max(flank, m.horizontalAdvance(f[3]));
        tijd = std::max(tijd, m.horizontalAdvance(f[4]));
    }
    const qreal gap = 3 * mm;
    const qreal indent = 12 * mm;
    const qreal room = pageWidth - indent;
    // A very long function code shares the line with its description.
    functie = std::min(functie, room * 0.3);
    tijd = std::min(tijd, room * 0.3);
    flank = std::min(flank, room * 0.1);
    const qreal omschrijving = std::max(room - functie - flank - tijd - 3 * gap, room * 0.2);
    QList<Column> c;
    c << Column{0, indent};
    c << Column{indent, functie};
    c << Column{c.last().x + functie + gap, omschrijving};
    c << Column{c.last().x + omschrijving + gap, flank};
    c << Column{c.last().x + flank + gap, tijd};
    return c;
}

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
    const QList<Column> columns = alarmColumns(lines, printer, page.width(), mm);
    qreal y = 0;
    for (const PrintLine& line : lines) {
        const QFont font = printFont(line);
        p.setFont(font);
        const QFontMetricsF metrics(font, &printer);
        const qreal height = metrics.lineSpacing();
        const QStringList fields = line.text.split(QLatin1Char('\t'));
        // Each field in its own column, wrapped; the row is as high as its
        // longest field and may run over onto the next sheet.
        QList<QStringList> wrapped;
        QList<qreal> xs;
        int rows = 1;
        for (int i = 0; i < fields.size(); ++i) {
            qreal x = 0, width = page.width();
            if (fields.size() >= 5 && i < columns.size()) {
                x = columns[i].x;
                width = i + 1 == fields.size() ? page.width() - x : columns[i].width;
            } else if (i > 0) {
                x = std::min<qreal>(12 * mm * i, page.width() / 2); // an indented line uses the rest of the width
                width = page.width() - x;
            }
            wrapped << wrapField(fields[i], font, &printer, width);
            xs << x;
            rows = std::max(rows, int(wrapped.last().size()));
        }
        for (int r = 0; r < rows; ++r) {
            if (y + height > page.height()) {
                if (!printer.newPage())
                    return Status::failure(QStringLiteral("de printer heeft het afdrukken afgebroken"));
                y = 0;
            }
            for (int i = 0; i < wrapped.size(); ++i)
                if (r < wrapped[i].size())
                    p.drawText(QPointF(xs[i], y + metrics.ascent()), wrapped[i][r]);
            y += height;
        }
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
