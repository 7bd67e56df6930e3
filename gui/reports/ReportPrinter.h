#pragma once

#include "ReportDetail.h"
#include "Result.h"

#include <QList>
#include <QPrinter>
#include <QPrinterInfo>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace taviro {

class DatabaseConnector;

// One printed line: the text with its tabs and the printer font it goes out in.
struct PrintLine
{
    QString text;
    int pointSize = 10;
    bool bold = false;
    bool italic = false;
};

// The printout of a report, line by line: six blank lines, the title
// "Taviro Melding Overzicht", the transmitter's address block, then per alarm
// line its transmitter in small italics and its function, description, edge
// and time separated by tabs.
QList<PrintLine> printLayout(const MeldingDetail& detail);

// Hands out the printer a report goes to; empty with a Dutch reason when there
// is none. Production uses the system's default (CUPS) printer; tests a PDF file.
using PrinterSource = std::function<std::unique_ptr<QPrinter>(QString* reason)>;
std::unique_ptr<QPrinter> systemDefaultPrinter(QString* reason);
// One installed printer, or empty with a Dutch reason when it cannot be used.
std::unique_ptr<QPrinter> installedPrinter(const QPrinterInfo& info, QString* reason);

// printMelding: the report with its listed lines on the given printer.
Status printMelding(const DatabaseConnector& conn, qint64 meldingId, QPrinter& printer);
// The same on a printer the operator picks in the printer dialog; a cancelled
// dialog is not a failure.
Status printMeldingWithDialog(const DatabaseConnector& conn, qint64 meldingId, QWidget* parent);

} // namespace taviro
