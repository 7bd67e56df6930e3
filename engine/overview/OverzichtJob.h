#pragma once

#include "DatabaseSettings.h"
#include "OverzichtBuilder.h"
#include "XslTransform.h"

#include <QObject>

#include <atomic>

class QThread;

namespace taviro {

struct OverzichtOutcome
{
    bool xmlWritten = false; // overzicht.xml holds the new overview
    QString html;            // the first page through its stylesheet; empty on failure
    QStringList pages;       // every page through its stylesheet, the first one included
    int pageSize = 0;        // reports a page; 0: all on one page
    QString error;           // a Dutch message for the operator; empty when all went well
    OverzichtStats stats;
    qint64 buildMsecs = 0;
    qint64 transformMsecs = 0;
};

// Builds and transforms an overview on a worker thread with its own database
// connection, so a year of reports never freezes the console while alarms
// keep coming in. Progress and the outcome arrive on the owner's thread.
class OverzichtJob : public QObject
{
    Q_OBJECT
public:
    OverzichtJob(DatabaseSettings database, QString loggerPath, QObject* parent = nullptr);
    ~OverzichtJob() override; // stops a running build and waits for it

    // False when a build is still running. pageSize: reports on the first
    // page (0 all), for stylesheets that page.
    bool start(const OverzichtRequest& request, int pageSize = 0);
    void cancel() { m_cancel = true; }
    bool running() const { return m_thread != nullptr; }

    // The whole work on the calling thread: build, then every page through
    // the stylesheet the document names, found beside it. Progress counts the
    // reports built and then the pages made.
    static OverzichtOutcome run(const DatabaseConnector& conn, const QString& loggerPath,
                                const OverzichtRequest& request, const OverzichtBuilder::Progress& progress = {},
                                int pageSize = 0);

Q_SIGNALS:
    void progress(int done, int total);
    void finished(const taviro::OverzichtOutcome& outcome);

private:
    void work(OverzichtRequest request, int pageSize);

    DatabaseSettings m_database;
    QString m_loggerPath;
    QThread* m_thread = nullptr;
    OverzichtOutcome m_outcome; // written by the worker, read after it ended
    std::atomic<bool> m_cancel{false};
};

} // namespace taviro
