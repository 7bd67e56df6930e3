#include "PanelHost.h"

#include <QScrollArea>
#include <QScrollBar>

namespace taviro {

PanelHost::PanelHost(QWidget* parent) : QStackedWidget(parent) {}

void PanelHost::addPanel(const QString& key, Panel panel)
{
    panel.widget->setObjectName(panel.widget->objectName().isEmpty() ? key : panel.widget->objectName());
    // A tall editor scrolls instead of pushing the alarm list off the screen.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(panel.widget);
    addWidget(scroll);
    m_frames.insert(key, scroll);
    m_panels.insert(key, std::move(panel));
}

void PanelHost::replacePanel(const QString& key, Panel panel)
{
    if (QWidget* old = this->panel(key); old && old != panel.widget) {
        QScrollArea* frame = m_frames.take(key);
        removeWidget(frame);
        frame->deleteLater();
    }
    addPanel(key, std::move(panel));
    if (m_current == key)
        setCurrentWidget(m_frames.value(key));
}

QWidget* PanelHost::panel(const QString& key) const
{
    return m_panels.value(key).widget;
}

qint64 PanelHost::currentId() const
{
    const Panel current = m_panels.value(m_current);
    return current.shownId ? current.shownId() : m_currentId;
}

bool PanelHost::showPanel(const QString& key, qint64 id)
{
    const auto next = m_panels.constFind(key);
    if (next == m_panels.cend())
        return false;
    if (!m_current.isEmpty()) {
        const Panel current = m_panels.value(m_current);
        // An editor that wants to stay keeps the window on it: nothing is lost.
        if (current.leave && !current.leave())
            return false;
    }
    if (next->show)
        next->show(id);
    // Each record starts at the top of its panel, not where the last one was left.
    QScrollArea* frame = m_frames.value(key);
    frame->verticalScrollBar()->setValue(0);
    frame->horizontalScrollBar()->setValue(0);
    setCurrentWidget(frame);
    m_current = key;
    m_currentId = id;
    Q_EMIT panelShown(key);
    return true;
}

} // namespace taviro
