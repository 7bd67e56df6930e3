#include "OverzichtViewer.h"

#include "EventLog.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QTextDocument>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace taviro {

OverzichtViewer::OverzichtViewer(DatabaseSettings database, QString loggerPath, EventLog& eventLog, QWidget* parent)
    : QWidget(parent), m_job(std::move(database), loggerPath), m_log(eventLog), m_loggerPath(std::move(loggerPath))
{
    setObjectName(QStringLiteral("OverzichtViewer"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblOverzichtStatus"));
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("overzichtProgress"));
    m_progress->setFormat(QStringLiteral("%p%"));
    m_progress->hide();
    m_cancel = new QPushButton(QStringLiteral("Afbreken"), this);
    m_cancel->setObjectName(QStringLiteral("cmdOverzichtAfbreken"));
    m_cancel->hide();
    m_print = new QPushButton(QStringLiteral("Afdrukken..."), this);
    m_print->setObjectName(QStringLiteral("cmdOverzichtAfdrukken"));
    m_print->setEnabled(false);
    m_previous = new QPushButton(QStringLiteral("< Vorige"), this);
    m_previous->setObjectName(QStringLiteral("cmdOverzichtVorige"));
    m_next = new QPushButton(QStringLiteral("Volgende >"), this);
    m_next->setObjectName(QStringLiteral("cmdOverzichtVolgende"));
    m_page = new QLabel(this);
    m_page->setObjectName(QStringLiteral("lblOverzichtPagina"));
    m_view = new OverzichtPageView(this);
    m_view->setObjectName(QStringLiteral("WebBrowser"));
    m_widthSettled = new QTimer(this);
    m_widthSettled->setSingleShot(true);
    m_widthSettled->setInterval(150);
    connect(m_view, &OverzichtPageView::widthChanged, m_widthSettled, qOverload<>(&QTimer::start));
    connect(m_widthSettled, &QTimer::timeout, this, &OverzichtViewer::onWidthChanged);
    connect(&m_cache, &OverzichtPageCache::ready, this, &OverzichtViewer::onPageReady);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_status, 1);
    bar->addWidget(m_progress, 1);
    bar->addWidget(m_cancel);
    bar->addWidget(m_previous);
    bar->addWidget(m_page);
    bar->addWidget(m_next);
    bar->addWidget(m_print);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);

    connect(&m_job, &OverzichtJob::progress, this, &OverzichtViewer::onProgress);
    connect(&m_job, &OverzichtJob::finished, this, &OverzichtViewer::onFinished);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (m_printJob.running()) {
            m_printJob.cancel();
            m_status->setText(QStringLiteral("Afdrukken wordt afgebroken..."));
            return;
        }
        m_job.cancel();
        m_status->setText(QStringLiteral("Overzicht wordt afgebroken..."));
    });
    connect(&m_printJob, &OverzichtPrintJob::progress, this, [this](int done, int total) {
        m_progress->setRange(0, total);
        m_progress->setValue(done);
        m_status->setText(QStringLiteral("Overzicht wordt afgedrukt: pagina %1 van %2...").arg(done).arg(total));
    });
    connect(&m_printJob, &OverzichtPrintJob::finished, this, &OverzichtViewer::onPrinted);
    m_printers = [this](QString* reason) -> std::unique_ptr<QPrinter> {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // The dialog opens on this workstation's chosen printer while it exists.
        const QString preferred = m_preferredPrinter ? m_preferredPrinter() : QString();
        if (!preferred.isEmpty() && !QPrinterInfo::printerInfo(preferred).isNull())
            printer->setPrinterName(preferred);
        QPrintDialog dialog(printer.get(), this);
        dialog.setWindowTitle(QStringLiteral("Overzicht afdrukken"));
        if (dialog.exec() != QDialog::Accepted) {
            if (reason)
                reason->clear(); // the operator changed his mind; nothing to tell
            return nullptr;
        }
        return printer;
    };
    connect(m_print, &QPushButton::clicked, this, [this] { printOverzicht(); });
    connect(m_previous, &QPushButton::clicked, this, [this] { showPage(m_pageIndex); });
    connect(m_next, &QPushButton::clicked, this, [this] { showPage(m_pageIndex + 2); });
    updatePager();
}

OverzichtViewer::~OverzichtViewer()
{
    // The page documents go with the cache, before the view that shows one.
    m_view->setDocument(nullptr);
}

void OverzichtViewer::showText(const QString& text)
{
    m_view->setPlainText(text);
}

void OverzichtViewer::onWidthChanged()
{
    const int width = m_view->layoutWidth();
    if (!m_view->isVisible())
        return; // laid out when it is shown again
    if (width == m_cache.width() || m_pages.isEmpty()) {
        m_cache.setWidth(width);
        return;
    }
    // The page on screen is laid out again for the new width; the operator
    // keeps his place in it.
    const QScrollBar* bar = m_view->verticalScrollBar();
    m_keepScroll = bar->maximum() > 0 ? double(bar->value()) / bar->maximum() : 0;
    m_cache.setWidth(width);
    const int page = m_pageIndex + 1;
    if (QTextDocument* doc = m_cache.document(page))
        display(page, doc);
}

QString OverzichtViewer::statusText() const
{
    return m_status->text();
}

bool OverzichtViewer::generate(const OverzichtRequest& request)
{
    Q_EMIT showRequested();
    if (m_printJob.running() || !m_job.start(request, kPageSize)) {
        m_status->setText(QStringLiteral("Er wordt al een overzicht gemaakt; wacht tot het klaar is of breek het af."));
        return false;
    }
    m_status->setStyleSheet(QString());
    m_status->setText(QStringLiteral("Overzicht wordt gemaakt..."));
    m_progress->setRange(0, 0); // busy until the number of reports is known
    m_progress->show();
    m_cancel->show();
    m_print->setEnabled(false);
    m_pages.clear();
    m_pageIndex = 0;
    updatePager();
    return true;
}

bool OverzichtViewer::showPage(int page)
{
    if (page < 1 || page > m_pages.size())
        return false;
    m_pageIndex = page - 1;
    m_asked.start();
    m_keepScroll = -1;
    if (m_view->isVisible())
        m_cache.setWidth(m_view->layoutWidth());
    updatePager();
    if (QTextDocument* doc = m_cache.document(page))
        display(page, doc);
    return true;
}

void OverzichtViewer::onPageReady(int page)
{
    if (page == m_pageIndex + 1 && m_view->document() != m_cache.document(page))
        display(page, m_cache.document(page));
}

void OverzichtViewer::display(int page, QTextDocument* doc)
{
    // The document was parsed and laid out on the worker; the view only
    // paints what is in sight.
    m_view->setDocument(doc);
    if (m_keepScroll >= 0) {
        QScrollBar* bar = m_view->verticalScrollBar();
        bar->setValue(int(m_keepScroll * bar->maximum()));
        m_keepScroll = -1;
    }
    m_lastPageMsecs = m_asked.elapsed();
    m_cache.keepAround(page);
    m_cache.prefetch(page + 1);
    m_cache.prefetch(page - 1);
    Q_EMIT pageShown(page);
    if (m_announce) {
        m_announce = false;
        Q_EMIT overzichtShown(m_lastOk);
    }
}

void OverzichtViewer::updatePager()
{
    const bool paged = m_pages.size() > 1;
    m_previous->setVisible(paged);
    m_next->setVisible(paged);
    m_page->setVisible(paged);
    if (!paged)
        return;
    const int first = m_pageIndex * m_pageSize + 1;
    m_previous->setEnabled(m_pageIndex > 0);
    m_next->setEnabled(m_pageIndex + 1 < m_pages.size());
    m_page->setText(QStringLiteral("Meldingen %1-%2 van %3")
                        .arg(first)
                        .arg(std::min(first + m_pageSize - 1, m_total))
                        .arg(m_total));
}

void OverzichtViewer::onProgress(int done, int total)
{
    m_progress->setRange(0, total);
    m_progress->setValue(done);
}

void OverzichtViewer::onFinished(const OverzichtOutcome& outcome)
{
    m_progress->hide();
    m_cancel->hide();
    m_asked.start();
    m_view->setDocument(nullptr); // the old pages go now
    m_pages = outcome.pages;
    m_cache.reset(m_pages);
    m_pageSize = outcome.pageSize;
    m_total = outcome.stats.meldingen;
    m_pageIndex = 0;
    updatePager();
    m_lastOk = outcome.error.isEmpty();
    if (!m_pages.isEmpty()) {
        m_print->setEnabled(true);
    } else if (outcome.xmlWritten) {
        showText(QStringLiteral("Het overzicht is opgeslagen in %1, maar kan niet worden getoond.")
                     .arg(QDir::toNativeSeparators(outcome.stats.xmlPath)));
    }
    if (outcome.error.isEmpty()) {
        m_status->setStyleSheet(QString());
        // The operator reads what the overview holds; how long it took is
        // for the installer and goes to the log file only.
        m_status->setText(QStringLiteral("%1 meldingen, %2 alarmregels")
                              .arg(outcome.stats.meldingen)
                              .arg(outcome.stats.alarms));
        m_log.writeLog(QStringLiteral("Overzicht opgebouwd in %1 ms, opgemaakt in %2 ms")
                           .arg(outcome.buildMsecs)
                           .arg(outcome.transformMsecs),
                       1);
    } else {
        m_status->setStyleSheet(QStringLiteral("color: #b42318; font-weight: bold;"));
        m_status->setText(outcome.error);
        m_log.writeLog(outcome.error, 0);
    }
    if (m_pages.isEmpty()) {
        Q_EMIT overzichtShown(m_lastOk);
        return;
    }
    m_announce = true;
    showPage(1);
}

bool OverzichtViewer::printOverzicht()
{
    if (m_pages.isEmpty() || m_printJob.running() || m_job.running())
        return false;
    QString reason;
    std::unique_ptr<QPrinter> printer = m_printers ? m_printers(&reason) : nullptr;
    if (!printer) {
        if (!reason.isEmpty())
            onPrinted(reason);
        return false;
    }
    const int pages = int(m_pages.size());
    if (!m_printJob.start(m_pages, std::move(printer)))
        return false;
    m_status->setStyleSheet(QString());
    m_status->setText(QStringLiteral("Overzicht wordt afgedrukt: pagina 0 van %1...").arg(pages));
    m_progress->setRange(0, pages);
    m_progress->setValue(0);
    m_progress->show();
    m_cancel->show();
    m_print->setEnabled(false);
    return true;
}

void OverzichtViewer::onPrinted(const QString& error)
{
    m_progress->hide();
    m_cancel->hide();
    m_print->setEnabled(!m_pages.isEmpty());
    if (error.isEmpty()) {
        m_status->setStyleSheet(QString());
        m_status->setText(QStringLiteral("Het overzicht is afgedrukt (%1 meldingen).").arg(m_total));
    } else {
        const QString text = QStringLiteral("Het overzicht is niet afgedrukt: %1.").arg(error);
        m_status->setStyleSheet(QStringLiteral("color: #b42318; font-weight: bold;"));
        m_status->setText(text);
        m_log.writeLog(text, 0);
    }
    Q_EMIT overzichtPrinted(error.isEmpty());
}

} // namespace taviro
