#include "OverzichtPageView.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocument>

namespace taviro {

OverzichtPageView::OverzichtPageView(QWidget* parent) : QAbstractScrollArea(parent)
{
    m_message = new QTextDocument(this);
    m_doc = m_message;
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
    connect(m_message->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, this, [this] {
        if (m_doc == m_message)
            updateScrollBars();
    });
}

int OverzichtPageView::layoutWidth() const
{
    return viewport()->width();
}

void OverzichtPageView::setDocument(QTextDocument* doc)
{
    m_doc = doc ? doc : m_message;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

void OverzichtPageView::setPlainText(const QString& text)
{
    m_message->setTextWidth(layoutWidth());
    m_message->setPlainText(text);
    setDocument(m_message);
}

QString OverzichtPageView::toPlainText() const
{
    return m_doc->toPlainText();
}

void OverzichtPageView::updateScrollBars()
{
    // The size of a document laid out elsewhere is known; asking for it
    // costs nothing here.
    const QSizeF size = m_doc->documentLayout()->documentSize();
    const QSize view = viewport()->size();
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setRange(0, std::max(0, int(size.height()) - view.height()));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setRange(0, std::max(0, int(size.width()) - view.width()));
}

void OverzichtPageView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-offset);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(event->rect().translated(offset));
    context.palette = palette();
    painter.setClipRect(context.clip);
    m_doc->documentLayout()->draw(&painter, context);
}

void OverzichtPageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_doc == m_message)
        m_message->setTextWidth(layoutWidth());
    updateScrollBars();
    if (layoutWidth() != m_lastWidth) {
        m_lastWidth = layoutWidth();
        Q_EMIT widthChanged(m_lastWidth);
    }
}

void OverzichtPageView::keyPressEvent(QKeyEvent* event)
{
    // Reading an overview by keyboard: the keys a browser page answers to.
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    switch (event->key()) {
    case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_PageDown:
    case Qt::Key_Space: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_Home: v->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case Qt::Key_End: v->triggerAction(QAbstractSlider::SliderToMaximum); break;
    case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

} // namespace taviro
