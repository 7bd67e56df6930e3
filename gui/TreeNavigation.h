#pragma once

#include <QObject>

#include <functional>

namespace taviro {

class NavigationTree;
class PanelHost;

// Keeps the tree's highlighted node and the panel on view the same record, so
// that a save or delete acts on what the operator sees highlighted. A node the
// operator chooses opens its panel; a panel that refuses to be left (the
// operator keeps editing) puts the highlight back on what it shows; a panel
// opened any other way, or a branch filled again, moves the highlight to it.
class TreeNavigation : public QObject
{
    Q_OBJECT
public:
    TreeNavigation(NavigationTree& tree, PanelHost& panels, std::function<bool()> showActueel,
                   QObject* parent = nullptr);

    // What a click on the node does; false when the shown panel stayed.
    bool open(const QString& nodeKey);
    void highlightShown();

private:
    NavigationTree& m_tree;
    PanelHost& m_panels;
    std::function<bool()> m_showActueel;
};

} // namespace taviro
