#include "OverzichtPrintJob.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <QThread>

namespace taviro {

namespace {

QString printerName(const QPrinter& printer)
{
    return printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
}

QString goneText(const QPrinter& printer)
{
    return QStringLiteral("de printer %1 is tijdens het afdrukken weggevallen").arg(printerName(printer));
}

} // namespace

Status printOverzichtPages(const QStringList& pages, QPrinter& printer,
                           const std::function<bool(int done, int total)>& progress)
{
    printer.setDocName(QStringLiteral("Taviro alarmoverzicht"));
    QPainter painter;
    if (!painter.begin(&printer))
        return Status::failure(QStringLiteral("de printer %1 is niet bereikbaar").arg(printerName(printer)));
    const QRectF sheet = printer.pageLayout().paintRectPixels(printer.resolution());
    bool firstSheet = true;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        // Laid out for the printer itself, so points are points on paper.
        QTextDocument doc;
        doc.documentLayout()->setPaintDevice(&printer);
        doc.setPageSize(sheet.size());
        doc.setHtml(pages[i]);
        const int sheets = doc.pageCount();
        for (int k = 0; k < sheets; ++k) {
            if (!firstSheet && !printer.newPage()) {
                printer.abort();
                return Status::failure(goneText(printer));
            }
            firstSheet = false;
            const QRectF part(0, k * sheet.height(), sheet.width(), sheet.height());
            painter.save();
            painter.translate(0, -part.top());
            painter.setClipRect(part);
            QAbstractTextDocumentLayout::PaintContext ctx;
            ctx.clip = part;
            doc.documentLayout()->draw(&painter, ctx);
            painter.restore();
            if (printer.printerState() == QPrinter::Error)
                return Status::failure(goneText(printer));
        }
        if (progress && !progress(int(i + 1), int(pages.size()))) {
            printer.abort();
            return Status::failure(QStringLiteral("het afdrukken is afgebroken"));
        }
    }
    if (!painter.end())
        return Status::failure(goneText(printer));
    return {};
}

OverzichtPrintJob::OverzichtPrintJob(QObject* parent) : QObject(parent) {}

OverzichtPrintJob::~OverzichtPrintJob()
{
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

bool OverzichtPrintJob::start(QStringList pages, std::unique_ptr<QPrinter> printer)
{
    if (m_thread || !printer)
        return false;
    m_cancel = false;
    m_error.clear();
    std::shared_ptr<QPrinter> shared(std::move(printer));
    m_thread = QThread::create([this, pages = std::move(pages), shared] {
        const Status s = printOverzichtPages(pages, *shared, [this](int done, int total) {
            QMetaObject::invokeMethod(this, [this, done, total] { Q_EMIT progress(done, total); }, Qt::QueuedConnection);
            return !m_cancel.load();
        });
        m_error = s ? QString() : s.error();
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
        Q_EMIT finished(m_error);
    });
    m_thread->start(QThread::LowPriority);
    return true;
}

} // namespace taviro
