#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace taviro::test {

class XSession;
struct Rig;

// What an operator does at the console, through the X server: focus the tree,
// walk it with the arrow keys, Tab to a control. Each step waits for the
// window to have answered, so a test reads as the operator's own steps.
class DesktopDriver
{
public:
    DesktopDriver(XSession& x, Rig& rig) : m_x(x), m_rig(rig) {}

    bool waitActive(QWidget* window);
    // The tree gets the keyboard by a click on its "Actueel" node.
    bool focusTree();
    // Home, then Down (and Right to unfold a branch on the way) until the
    // cursor is on the node.
    bool walkTo(const QString& nodeKey);
    // Tab (or Shift+Tab) until the control with this name has the focus.
    bool tabTo(const QString& objectName, bool backwards = false);
    const QString& lastProblem() const { return m_problem; }

    // Pairs of controls that Tab visits against the reading order of the
    // panel: up without moving to a column on the right, or left on a row.
    QStringList focusOrderProblems(QWidget* panel) const;
    // Buttons of the panel that are cut off or cannot be scrolled into view.
    QStringList unreachableButtons(QWidget* panel) const;

    // With TAVIRO_SCREENSHOT_DIR set: the whole screen as <name>.png.
    void screenshot(const QString& name) const;

private:
    bool fail(const QString& problem);

    XSession& m_x;
    Rig& m_rig;
    QString m_problem;
};

} // namespace taviro::test
