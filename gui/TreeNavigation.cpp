#include "TreeNavigation.h"

#include "NavigationTree.h"
#include "PanelHost.h"

namespace taviro {

TreeNavigation::TreeNavigation(NavigationTree& tree, PanelHost& panels, std::function<bool()> showActueel,
                               QObject* parent)
    : QObject(parent), m_tree(tree), m_panels(panels), m_showActueel(std::move(showActueel))
{
    connect(&m_tree, &NavigationTree::nodeChosen, this, &TreeNavigation::open);
    connect(&m_tree, &NavigationTree::branchReloaded, this, &TreeNavigation::highlightShown);
    connect(&m_panels, &PanelHost::panelShown, this, &TreeNavigation::highlightShown);
}

bool TreeNavigation::open(const QString& nodeKey)
{
    const PanelRoute route = routeForNode(nodeKey);
    if (route.panel.isEmpty())
        return true; // a group node opens nothing; the highlight may rest on it
    const bool shown = route.panel == QLatin1String("actueel") && m_showActueel ? m_showActueel()
                                                                                 : m_panels.showPanel(route.panel, route.id);
    if (!shown)
        highlightShown();
    return shown;
}

void TreeNavigation::highlightShown()
{
    m_tree.highlight(nodeForPanel(m_panels.currentKey(), m_panels.currentId()));
}

} // namespace taviro
