#pragma once

#include "Result.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QPrinter;
class QThread;

namespace taviro {

// Every page of an overview on paper, one after the other in one print job.
// Each page starts on a new sheet; a page longer than a sheet runs on.
// progress(done, total) after each page; returning false stops the job.
Status printOverzichtPages(const QStringList& pages, QPrinter& printer,
                           const std::function<bool(int done, int total)>& progress = {});

// The same on a worker thread: a year of reports takes minutes on paper and
// the console must keep taking alarms meanwhile. Progress and the outcome
// arrive on the owner's thread.
class OverzichtPrintJob : public QObject
{
    Q_OBJECT
public:
    explicit OverzichtPrintJob(QObject* parent = nullptr);
    ~OverzichtPrintJob() override; // stops a running job and waits for it

    // False when a job is still running.
    bool start(QStringList pages, std::unique_ptr<QPrinter> printer);
    void cancel() { m_cancel = true; }
    bool running() const { return m_thread != nullptr; }

Q_SIGNALS:
    void progress(int done, int total);
    // error: a Dutch reason; empty when every page went out.
    void finished(const QString& error);

private:
    QThread* m_thread = nullptr;
    QString m_error; // written by the worker, read after it ended
    std::atomic<bool> m_cancel{false};
};

} // namespace taviro
