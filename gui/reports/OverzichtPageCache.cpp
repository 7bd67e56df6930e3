#include "OverzichtPageCache.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>

namespace taviro {

// Lives on the cache's worker thread.
class OverzichtPageMaker : public QObject
{
    Q_OBJECT
public:
    void make(int generation, int page, const QString& html, int width, QThread* target)
    {
        auto* doc = new QTextDocument;
        doc->setHtml(html);
        doc->setTextWidth(width);
        // The whole page is laid out here, so the window only paints it.
        (void)doc->documentLayout()->documentSize();
        doc->moveToThread(target);
        Q_EMIT made(generation, page, doc);
    }

Q_SIGNALS:
    void made(int generation, int page, QTextDocument* doc);
};

OverzichtPageCache::OverzichtPageCache(QObject* parent) : QObject(parent)
{
    m_maker = new OverzichtPageMaker;
    m_maker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_maker, &QObject::deleteLater);
    connect(this, &OverzichtPageCache::makeRequested, m_maker, &OverzichtPageMaker::make, Qt::QueuedConnection);
    connect(m_maker, &OverzichtPageMaker::made, this, &OverzichtPageCache::onMade, Qt::QueuedConnection);
    m_thread.setObjectName(QStringLiteral("overzicht-pagina's"));
    m_thread.start(QThread::LowPriority);
}

OverzichtPageCache::~OverzichtPageCache()
{
    m_thread.quit();
    m_thread.wait();
    qDeleteAll(m_docs);
    qDeleteAll(m_retired);
}

void OverzichtPageCache::reset(QStringList pages)
{
    ++m_generation; // documents still on their way belong to the old overview
    qDeleteAll(m_docs);
    m_docs.clear();
    qDeleteAll(m_retired);
    m_retired.clear();
    m_pending.clear();
    m_pages = std::move(pages);
}

QTextDocument* OverzichtPageCache::document(int page)
{
    if (QTextDocument* doc = m_docs.value(page))
        return doc;
    prefetch(page);
    return nullptr;
}

void OverzichtPageCache::prefetch(int page)
{
    if (page < 1 || page > m_pages.size() || m_docs.contains(page) || m_pending.contains(page))
        return;
    m_pending.insert(page);
    Q_EMIT makeRequested(m_generation, page, m_pages.at(page - 1), m_width, thread());
}

void OverzichtPageCache::setWidth(int width)
{
    if (width == m_width || width <= 0)
        return;
    m_width = width;
    ++m_generation; // pages on their way have the old width
    m_pending.clear();
    m_retired.append(m_docs.values());
    m_docs.clear();
}

void OverzichtPageCache::keepAround(int page)
{
    qDeleteAll(m_retired);
    m_retired.clear();
    for (auto it = m_docs.begin(); it != m_docs.end();) {
        if (std::abs(it.key() - page) > 1) {
            delete it.value();
            it = m_docs.erase(it);
        } else {
            ++it;
        }
    }
}

void OverzichtPageCache::onMade(int generation, int page, QTextDocument* doc)
{
    if (generation != m_generation) {
        delete doc;
        return;
    }
    m_pending.remove(page);
    if (m_docs.contains(page)) {
        delete doc;
        return;
    }
    m_docs.insert(page, doc);
    Q_EMIT ready(page);
}

} // namespace taviro

#include "OverzichtPageCache.moc"
