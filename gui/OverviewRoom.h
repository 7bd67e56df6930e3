#pragma once

#include <QList>
#include <QObject>

class QSplitter;
class QTabWidget;
class QWidget;

namespace taviro {

class PanelHost;

// The bottom tab strip is a few list rows high, enough to see what alarms
// wait; an overview in it could then show its heading and nothing else. While
// the overview page is on view the splitter gives it the room for a screenful
// of report rows, and gives the room back when the operator turns to another
// page or opens an editor. A splitter the operator drags himself stays where
// he puts it.
class OverviewRoom : public QObject
{
    Q_OBJECT
public:
    // Report rows an overview shows at least, where the window is tall enough.
    static constexpr int kRows = 15;

    OverviewRoom(QSplitter& splitter, QTabWidget& tabs, QWidget& overviewPage, PanelHost& panels,
                 QObject* parent = nullptr);

    void makeRoom();
    void giveBack();
    bool grown() const { return !m_saved.isEmpty(); }

private:
    int wantedHeight() const;

    QSplitter& m_splitter;
    QTabWidget& m_tabs;
    QWidget& m_page;
    QList<int> m_saved; // the sizes before the overview took the room
};

} // namespace taviro
