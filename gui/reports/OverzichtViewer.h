#pragma once

#include "DatabaseSettings.h"
#include "OverzichtJob.h"
#include "OverzichtPageCache.h"
#include "OverzichtPageView.h"
#include "OverzichtPrintJob.h"
#include "ReportPrinter.h"

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace taviro {

class EventLog;

// The "Overzicht" page: builds an overview on a worker thread with a progress
// bar and a cancel button, then shows overzicht.xml through its stylesheet in
// the WebBrowser view. The console keeps taking alarms in meanwhile.
class OverzichtViewer : public QWidget
{
    Q_OBJECT
public:
    OverzichtViewer(DatabaseSettings database, QString loggerPath, EventLog& eventLog, QWidget* parent = nullptr);
    ~OverzichtViewer() override;

    // An overview is shown this many reports at a time: handing the view a
    // document costs time in proportion to its size on the window's thread,
    // and a page of 25 (150 table rows with two recipients) stays well within
    // what the operator notices.
    static constexpr int kPageSize = 25;

    // Starts an overview; false when one is still being made.
    bool generate(const OverzichtRequest& request);
    // Shows a page (1-based) of the overview on screen, at once when it is
    // ready, else as soon as the worker has made it (pageShown follows).
    bool showPage(int page);
    // From the click (or the overview's arrival) to the page on screen, in ms.
    qint64 lastPageMsecs() const { return m_lastPageMsecs; }
    int pageCount() const { return int(m_pages.size()); }
    bool busy() const { return m_job.running(); }
    bool printing() const { return m_printJob.running(); }
    // Where "Afdrukken..." prints; by default the printer the operator picks
    // in the printer dialog. Empty with a reason: nothing is printed.
    void setPrinterSource(PrinterSource source) { m_printers = std::move(source); }
    // The printer the dialog starts on: the workstation's chosen one.
    void setPreferredPrinter(std::function<QString()> name) { m_preferredPrinter = std::move(name); }
    // "Afdrukken...": every page of the overview, on a worker thread.
    bool printOverzicht();
    OverzichtPageView* view() const { return m_view; }
    // The status line under the buttons: progress, figures or what went wrong.
    QString statusText() const;

Q_SIGNALS:
    // An overview was asked for: the host shows this page (bottomTabs page 2).
    void showRequested();
    // The overview is on screen (or its failure is).
    void overzichtShown(bool ok);
    // A page is on screen.
    void pageShown(int page);
    // The print job of the overview has ended.
    void overzichtPrinted(bool ok);

private:
    void onProgress(int done, int total);
    void onFinished(const OverzichtOutcome& outcome);
    void onPrinted(const QString& error);
    void onPageReady(int page);
    void display(int page, QTextDocument* doc);
    void showText(const QString& text);
    void updatePager();
    void onWidthChanged();

    OverzichtJob m_job;
    OverzichtPrintJob m_printJob;
    PrinterSource m_printers;
    std::function<QString()> m_preferredPrinter;
    EventLog& m_log;
    QString m_loggerPath;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QLabel* m_page = nullptr;
    QStringList m_pages; // made on the worker, one hundred reports each
    OverzichtPageCache m_cache;
    QElapsedTimer m_asked;               // since the page was asked for
    qint64 m_lastPageMsecs = 0;
    bool m_announce = false;             // overzichtShown waits for the first page
    bool m_lastOk = false;
    int m_pageSize = 0;
    int m_pageIndex = 0;
    int m_total = 0;
    OverzichtPageView* m_view = nullptr;
    QTimer* m_widthSettled = nullptr; // a dragged window edge is followed once it stops
    double m_keepScroll = -1;         // the share scrolled of a page laid out again
};

} // namespace taviro
