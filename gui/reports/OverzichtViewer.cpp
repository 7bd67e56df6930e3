#include "OverzichtViewer.h"

#include "EventLog.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
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
    m_progress->setFormat(QStringLiteral("%v van %m meldingen"));
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
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("WebBrowser"));
    m_browser->setOpenLinks(false);
    m_browser->setSearchPaths({m_loggerPath});

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
    layout->addWidget(m_browser, 1);

    connect(&m_job, &OverzichtJob::progress, this, &OverzichtViewer::onProgress);
    connect(&m_job, &OverzichtJob::finished, this, &OverzichtViewer::onFinished);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_job.cancel();
        m_status->setText(QStringLiteral("Overzicht wordt afgebroken..."));
    });
    connect(m_print, &QPushButton::clicked, this, &OverzichtViewer::printOverzicht);
    connect(m_previous, &QPushButton::clicked, this, [this] { showPage(m_first - m_pageSize); });
    connect(m_next, &QPushButton::clicked, this, [this] { showPage(m_first + m_pageSize); });
    updatePager();
}

QString OverzichtViewer::statusText() const
{
    return m_status->text();
}

bool OverzichtViewer::generate(const OverzichtRequest& request)
{
    Q_EMIT showRequested();
    // Only the period overview pages; a day is short enough to show whole.
    const int pageSize = request.stylesheet == overzicht::kPeriodStylesheet ? kPageSize : 0;
    if (!m_job.start(request, pageSize)) {
        m_status->setText(QStringLiteral("Er wordt al een overzicht gemaakt; wacht tot het klaar is of breek het af."));
        return false;
    }
    m_status->setStyleSheet(QString());
    m_status->setText(QStringLiteral("Overzicht wordt gemaakt..."));
    m_progress->setRange(0, 0); // busy until the number of reports is known
    m_progress->show();
    m_cancel->show();
    m_print->setEnabled(false);
    m_document.reset();
    updatePager();
    return true;
}

bool OverzichtViewer::showPage(int first)
{
    if (!m_document || m_pageSize == 0 || first < 1 || first > m_total)
        return false;
    auto html = m_document->apply(OverzichtJob::pageParams(first, m_pageSize));
    if (!html) {
        m_status->setText(html.error());
        return false;
    }
    m_first = first;
    m_browser->setHtml(*html);
    updatePager();
    return true;
}

void OverzichtViewer::updatePager()
{
    const bool paged = m_document && m_pageSize > 0 && m_total > m_pageSize;
    m_previous->setVisible(paged);
    m_next->setVisible(paged);
    m_page->setVisible(paged);
    if (!paged)
        return;
    m_previous->setEnabled(m_first > 1);
    m_next->setEnabled(m_first + m_pageSize <= m_total);
    m_page->setText(QStringLiteral("Meldingen %1-%2 van %3")
                        .arg(m_first)
                        .arg(std::min(m_first + m_pageSize - 1, m_total))
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
    m_document = outcome.document;
    m_pageSize = outcome.pageSize;
    m_total = outcome.stats.meldingen;
    m_first = 1;
    updatePager();
    if (!outcome.html.isEmpty()) {
        m_browser->setHtml(outcome.html);
        m_print->setEnabled(true);
    } else if (outcome.xmlWritten) {
        m_browser->setPlainText(QStringLiteral("Het overzicht is opgeslagen in %1, maar kan niet worden getoond.")
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
    Q_EMIT overzichtShown(outcome.error.isEmpty());
}

void OverzichtViewer::printOverzicht()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Overzicht afdrukken"));
    if (dialog.exec() == QDialog::Accepted)
        m_browser->document()->print(&printer);
}

} // namespace taviro
