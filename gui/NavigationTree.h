#pragma once

#include <QTreeWidget>

namespace taviro {

class DatabaseConnector;
class EventLog;
class ImageList;

// Where a click on a tree node leads: the panel's key and the record id
// (0 for the "Nieuw..." nodes). An empty panel means the node does nothing.
struct PanelRoute
{
    QString panel;
    qint64 id = 0;
};
PanelRoute routeForNode(const QString& nodeKey);
// The node that stands for a panel showing record `id`: the record's node, the
// "Nieuw..." node for an unsaved one, the fixed node of a panel without
// records. Empty for a panel no node opens.
QString nodeForPanel(const QString& panel, qint64 id);

// menuTree: fixed group nodes and one node per transmitter, recipient, week
// schedule, year schedule and operator account.
class NavigationTree : public QTreeWidget
{
    Q_OBJECT
public:
    NavigationTree(const DatabaseConnector& conn, const ImageList& images, EventLog& log, QWidget* parent = nullptr);

    void build();
    void reloadMelderTree();
    void reloadOntvangersTree();
    void reloadWeekTree();
    void reloadJaarTree();
    void reloadGebruikersTree();
    // Rebuilds the branch an editor names after a save or delete.
    void reloadBranch(const QString& branch);

    QTreeWidgetItem* node(const QString& key) const;
    static QString keyOf(const QTreeWidgetItem* item);
    // Puts the cursor on a node without opening it; an unknown key clears it.
    void highlight(const QString& key);

Q_SIGNALS:
    // The operator chose a node: clicked it, moved the cursor onto it with
    // the keyboard, or pressed Enter or Space on it.
    void nodeChosen(const QString& key);
    // A branch was filled again; the cursor may have lost its node.
    void branchReloaded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QTreeWidgetItem* add(QTreeWidgetItem* parent, const QString& key, const QString& caption, int image);
    void clearBranch(const QString& groupKey);
    void addNewNode(const QString& groupKey, const QString& prefix);
    template <class Repo, class Caption>
    void fillBranch(const QString& groupKey, const QString& prefix, int image, Caption caption);

    const DatabaseConnector& m_conn;
    const ImageList& m_images;
    EventLog& m_log;
    QTreeWidgetItem* m_currentAtPress = nullptr;
    bool m_clicked = false;
};

} // namespace taviro
