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
    auto html = doc ? (*doc)->apply(pageParams(1, pageSize)) : Result<QString>::failure(doc.error());
    outcome.transformMsecs = timer.elapsed();
    if (!html) {
        outcome.error = html.error() + QStringLiteral(" Het overzicht zelf is wel opgeslagen in %1.")
                                           .arg(built->xmlPath);
        return outcome;
    }
    outcome.html = *html;
    outcome.document = *doc;
    outcome.pageSize = pageSize;
    return outcome;
}

XslParams OverzichtJob::pageParams(int first, int pageSize)
{
    return {{QByteArrayLiteral("van"), QByteArray::number(first)}, {QByteArrayLiteral("aantal"), QByteArray::number(pageSize)}};
}

} // namespace taviro
