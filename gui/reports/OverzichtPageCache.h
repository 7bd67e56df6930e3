#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThread>

class QTextDocument;

namespace taviro {

class OverzichtPageMaker;

// The pages of an overview as documents ready for the view. Turning HTML into
// a document and laying it out takes longer than the window may stand still,
// so a worker thread does both, for the width the view has, the page asked
// for first and its neighbours ahead of the operator. Only the page on screen
// and the ones beside it are kept.
class OverzichtPageCache : public QObject
{
    Q_OBJECT
public:
    explicit OverzichtPageCache(QObject* parent = nullptr);
    ~OverzichtPageCache() override;

    // A new overview: every document of the previous one is dropped, so
    // nothing may show one any more.
    void reset(QStringList pages);
    int pageCount() const { return int(m_pages.size()); }
    // The document of a page (1-based), or nullptr while it is being made;
    // ready(page) follows then.
    QTextDocument* document(int page);
    // Starts making a page before it is asked for.
    void prefetch(int page);
    // Drops the documents more than one page away from this one, and those
    // laid out for an earlier width.
    void keepAround(int page);
    // The width pages are laid out for. A new width makes every page again;
    // the documents of the old width stay alive until keepAround, as the
    // view still shows one of them.
    void setWidth(int width);
    int width() const { return m_width; }

Q_SIGNALS:
    void ready(int page);
    void makeRequested(int generation, int page, const QString& html, int width, QThread* target);

private:
    void onMade(int generation, int page, QTextDocument* doc);

    QThread m_thread;
    OverzichtPageMaker* m_maker = nullptr;
    QStringList m_pages;
    QHash<int, QTextDocument*> m_docs;
    QList<QTextDocument*> m_retired; // laid out for an earlier width
    QSet<int> m_pending;
    int m_generation = 0;
    int m_width = 1000;
};

} // namespace taviro
