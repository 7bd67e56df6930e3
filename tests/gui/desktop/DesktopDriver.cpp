#include "DesktopDriver.h"

#include "ConsoleRig.h"
#include "NavigationTree.h"
#include "XSession.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>

#include <algorithm>

namespace taviro::test {

namespace {

// Waits, serving the window's events, until `done` holds or time runs out.
template <class Done>
bool waitFor(Done done, int timeoutMs = 3000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

bool isAncestor(const QTreeWidgetItem* maybe, const QTreeWidgetItem* of)
{
    for (const QTreeWidgetItem* p = of->parent(); p; p = p->parent())
        if (p == maybe)
            return true;
    return false;
}

// Inner parts of a compound control (a date box's text field) are its own.
bool isInnerPart(const QWidget* w, const QWidget* panel)
{
    for (const QWidget* p = w->parentWidget(); p && p != panel; p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p))
            return true;
    return false;
}

QString nameOf(const QWidget* w)
{
    if (auto* b = qobject_cast<const QAbstractButton*>(w); b && !b->text().isEmpty())
        return QStringLiteral("%1 \"%2\"").arg(w->objectName(), b->text());
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

} // namespace

bool DesktopDriver::fail(const QString& problem)
{
    m_problem = problem;
    return false;
}

bool DesktopDriver::waitActive(QWidget* window)
{
    if (waitFor([window] { return window->isActiveWindow(); }, 3000))
        return true;
    // Some window managers hand a new window the focus only when asked.
    m_x.xdotool({QStringLiteral("windowactivate"), QString::number(window->winId())});
    return waitFor([window] { return window->isActiveWindow(); }, 5000);
}

bool DesktopDriver::focusTree()
{
    if (!waitActive(m_rig.window.get()))
        return fail(QStringLiteral("het venster wordt niet actief"));
    NavigationTree& tree = m_rig.window->tree();
    QTreeWidgetItem* actueel = tree.node(QStringLiteral("C1"));
    tree.scrollToItem(actueel);
    const QPoint at = tree.viewport()->mapToGlobal(tree.visualItemRect(actueel).center());
    if (!m_x.click(at))
        return fail(QStringLiteral("xdotool klikt niet"));
    return waitFor([&tree] { return tree.hasFocus(); }) || fail(QStringLiteral("de boom krijgt de focus niet"));
}

bool DesktopDriver::walkTo(const QString& nodeKey)
{
    NavigationTree& tree = m_rig.window->tree();
    QTreeWidgetItem* goal = tree.node(nodeKey);
    if (!goal)
        return fail(QStringLiteral("geen knoop %1").arg(nodeKey));
    if (!tree.hasFocus())
        return fail(QStringLiteral("de boom heeft de focus niet"));
    m_x.keys({QStringLiteral("Home")});
    if (!waitFor([&tree] { return tree.currentItem() == tree.topLevelItem(0); }))
        return fail(QStringLiteral("Home brengt de cursor niet bovenaan"));
    for (int step = 0; step < 300; ++step) {
        QTreeWidgetItem* at = tree.currentItem();
        if (at == goal)
            return true;
        const bool unfold = at && isAncestor(at, goal) && !at->isExpanded();
        m_x.keys({unfold ? QStringLiteral("Right") : QStringLiteral("Down")});
        const bool moved = waitFor([&] { return tree.currentItem() != at || (unfold && at->isExpanded()); });
        if (!moved)
            return fail(QStringLiteral("de cursor blijft op %1 staan").arg(NavigationTree::keyOf(at)));
    }
    return fail(QStringLiteral("%1 niet bereikt").arg(nodeKey));
}

bool DesktopDriver::tabTo(const QString& objectName, bool backwards)
{
    auto focusedIs = [&objectName] {
        QWidget* f = QApplication::focusWidget();
        return f && (f->objectName() == objectName || (f->parentWidget() && f->parentWidget()->objectName() == objectName));
    };
    for (int press = 0; press < 80; ++press) {
        if (focusedIs())
            return true;
        QWidget* before = QApplication::focusWidget();
        m_x.keys({backwards ? QStringLiteral("shift+Tab") : QStringLiteral("Tab")});
        waitFor([before] { return QApplication::focusWidget() != before; }, 1500);
    }
    return focusedIs() || fail(QStringLiteral("Tab bereikt %1 niet").arg(objectName));
}

QStringList DesktopDriver::focusOrderProblems(QWidget* panel) const
{
    QList<QWidget*> chain;
    QWidget* w = panel;
    for (int guard = 0; guard < 2000; ++guard) {
        w = w->nextInFocusChain();
        if (w == panel || !w)
            break;
        if (!panel->isAncestorOf(w) || !w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus) ||
            isInnerPart(w, panel) || chain.contains(w))
            continue;
        chain << w;
    }
    QStringList problems;
    const int tolerance = 4;
    for (qsizetype i = 1; i < chain.size(); ++i) {
        const QRect a(chain[i - 1]->mapTo(panel, QPoint(0, 0)), chain[i - 1]->size());
        const QRect b(chain[i]->mapTo(panel, QPoint(0, 0)), chain[i]->size());
        const bool sameRow = qAbs(a.center().y() - b.center().y()) < qMin(a.height(), b.height()) / 2 + tolerance;
        const bool up = !sameRow && b.bottom() < a.top() + tolerance;
        const bool backUp = up && b.left() < a.right() - tolerance;
        const bool leftOnRow = sameRow && b.right() < a.left() + tolerance;
        if (backUp || leftOnRow)
            problems << QStringLiteral("%1 -> %2").arg(nameOf(chain[i - 1]), nameOf(chain[i]));
    }
    return problems;
}

QStringList DesktopDriver::unreachableButtons(QWidget* panel) const
{
    QStringList out;
    auto* frame = qobject_cast<QScrollArea*>(panel->parentWidget() ? panel->parentWidget()->parentWidget() : nullptr);
    for (QAbstractButton* b : panel->findChildren<QAbstractButton*>()) {
        // A tab bar's own arrows are how its tabs are reached when narrow.
        if (!b->isVisibleTo(panel) || qobject_cast<QTabBar*>(b->parentWidget()))
            continue;
        const QRect at(b->mapTo(panel, QPoint(0, 0)), b->size());
        if (!panel->rect().contains(at) || b->width() < b->minimumSizeHint().width())
            out << nameOf(b) + QStringLiteral(" afgesneden");
    }
    if (frame) {
        const QSize view = frame->viewport()->size();
        if (panel->height() - view.height() > frame->verticalScrollBar()->maximum() ||
            panel->width() - view.width() > frame->horizontalScrollBar()->maximum())
            out << QStringLiteral("paneel groter dan het beeld zonder schuifbalk");
    }
    return out;
}

void DesktopDriver::screenshot(const QString& name) const
{
    const QString dir = qEnvironmentVariable("TAVIRO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(300);
    QDir().mkpath(dir);
    m_x.saveScreenshot(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace taviro::test
