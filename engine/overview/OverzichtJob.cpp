#include "OverzichtJob.h"

#include "DatabaseConnector.h"
#include "XslTransform.h"

#include <QElapsedTimer>
#include <QThread>

namespace taviro {

OverzichtJob::OverzichtJob(DatabaseSettings database, QString loggerPath, QObject* parent)
    : QObject(parent), m_database(std::move(database)), m_loggerPath(std::move(loggerPath))
{
}

OverzichtJob::~OverzichtJob()
{
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

bool OverzichtJob::start(const OverzichtRequest& request, int pageSize)
{
    if (m_thread)
        return false;
    m_cancel = false;
    m_thread = QThread::create([this, request, pageSize] { work(request, pageSize); });
    // The outcome is handed over once the thread has ended, so a handler may
    // start the next overview at once.
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
        Q_EMIT finished(m_outcome);
    });
    m_thread->start(QThread::LowPriority);
    return true;
}

void OverzichtJob::work(OverzichtRequest request, int pageSize)
{
    OverzichtOutcome outcome;
    auto conn = DatabaseConnector::open(m_database);
    if (!conn) {
        outcome.error = QStringLiteral("Het overzicht kan niet worden gemaakt: %1").arg(conn.error());
    } else {
        int lastPercent = -1;
        outcome = run(**conn, m_loggerPath, request, [this, &lastPercent](int done, int total) {
            // A percent at a time is all the operator can see; more only floods the event loop.
            const int percent = total > 0 ? done * 100 / total : 100;
            if (percent != lastPercent) {
                lastPercent = percent;
                QMetaObject::invokeMethod(this, [this, done, total] { Q_EMIT progress(done, total); },
                                          Qt::QueuedConnection);
            }
            return !m_cancel.load();
        }, pageSize);
    }
    m_outcome = std::move(outcome);
}

OverzichtOutcome OverzichtJob::run(const DatabaseConnector& conn, const QString& loggerPath,
                                   const OverzichtRequest& request, const OverzichtBuilder::Progress& progress,
                                   int pageSize)
{
    OverzichtOutcome outcome;
    QElapsedTimer timer;
    timer.start();
    auto built = OverzichtBuilder(conn, loggerPath).build(request, progress);
    outcome.buildMsecs = timer.restart();
    if (!built) {
        outcome.error = built.error();
        return outcome;
    }
    outcome.xmlWritten = true;
    outcome.stats = *built;
    const QString xsl = stylesheetOf(built->xmlPath);
    auto doc = XslDocument::load(built->xmlPath, xsl.isEmpty() ? loggerPath + request.stylesheet : xsl);
    if (!doc) {
        outcome.transformMsecs = timer.elapsed();
        outcome.error = doc.error() + QStringLiteral(" Het overzicht zelf is wel opgeslagen in %1.").arg(built->xmlPath);
        return outcome;
    }
    // Every page is made here, off the window's thread, so that turning a
    // page only hands the view a finished hundred reports.
    const int pages = (*doc)->pageCount(pageSize);
    for (int page = 1; page <= pages; ++page) {
        auto html = (*doc)->applyPage(page, pageSize);
        if (!html) {
            outcome.transformMsecs = timer.elapsed();
            outcome.error = html.error() + QStringLiteral(" Het overzicht zelf is wel opgeslagen in %1.")
                                               .arg(built->xmlPath);
            outcome.pages.clear();
            return outcome;
        }
        outcome.pages.append(*html);
        if (progress && !progress(built->meldingen + page, built->meldingen + pages)) {
            outcome.transformMsecs = timer.elapsed();
            outcome.error = QStringLiteral("Het overzicht is afgebroken.");
            outcome.pages.clear();
            return outcome;
        }
    }
    outcome.transformMsecs = timer.elapsed();
    outcome.html = outcome.pages.constFirst();
    outcome.pageSize = pageSize;
    return outcome;
}

} // namespace taviro
