#pragma once

#include <QHash>
#include <QStackedWidget>

#include <functional>

class QScrollArea;

namespace taviro {

// One panel at a time on the right of the window. A panel may refuse to be
// left (an editor whose changes the operator wants to keep working on).
class PanelHost : public QStackedWidget
{
    Q_OBJECT
public:
    struct Panel
    {
        QWidget* widget = nullptr;
        std::function<void(qint64 id)> show;  // load a record (0 = new) or refresh
        std::function<bool()> leave;          // true when the panel may be left
        // The record the panel holds now, when it can change on the panel
        // itself (a new record gets its key when saved); else the id shown.
        std::function<qint64()> shownId;
    };

    explicit PanelHost(QWidget* parent = nullptr);

    void addPanel(const QString& key, Panel panel);
    // Replaces a placeholder with the real panel once it exists.
    void replacePanel(const QString& key, Panel panel);
    // Leaves the current panel (it may refuse) and shows `key` with `id`.
    bool showPanel(const QString& key, qint64 id = 0);
    const QString& currentKey() const { return m_current; }
    qint64 currentId() const;
    QWidget* panel(const QString& key) const;

Q_SIGNALS:
    void panelShown(const QString& key);

private:
    QHash<QString, Panel> m_panels;
    QHash<QString, QScrollArea*> m_frames;
    QString m_current;
    qint64 m_currentId = 0;
};

} // namespace taviro
