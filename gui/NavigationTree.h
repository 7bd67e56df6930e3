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

Q_SIGNALS:
    void nodeClicked(const QString& key);

private:
    QTreeWidgetItem* add(QTreeWidgetItem* parent, const QString& key, const QString& caption, int image);
    void clearBranch(const QString& groupKey);
    void addNewNode(const QString& groupKey, const QString& prefix);
    template <class Repo, class Caption>
    void fillBranch(const QString& groupKey, const QString& prefix, int image, Caption caption);

    const DatabaseConnector& m_conn;
    const ImageList& m_images;
    EventLog& m_log;
};

} // namespace taviro
