#include "NavigationTree.h"

#include "EventLog.h"
#include "ImageList.h"
#include "Repositories.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>

namespace taviro {

namespace {

constexpr int kKeyRole = Qt::UserRole;

struct RecordBranch
{
    const char* prefix;
    const char* panel;
};

// Matched in this order on "contains", as the node keys have always been.
constexpr RecordBranch kRecordBranches[] = {
    {"C2CM", "Melders1"}, {"C3C1Co", "Ontvanger1"}, {"C3C2Cw", "WeekPlanner1"},
    {"C3C3Cj", "JaarPlanner1"}, {"C5C1Cg", "gebruikers"},
};

} // namespace

PanelRoute routeForNode(const QString& key)
{
    for (const RecordBranch& b : kRecordBranches) {
        const QString prefix = QLatin1String(b.prefix);
        const int at = key.indexOf(prefix);
        if (at >= 0)
            return {QLatin1String(b.panel), key.mid(at + prefix.size()).toLongLong()};
    }
    if (key == QLatin1String("C1"))
        return {QStringLiteral("actueel"), 0};
    if (key == QLatin1String("C4C1"))
        return {QStringLiteral("Overzichten1"), 0};
    if (key == QLatin1String("C4C2"))
        return {QStringLiteral("Overzicht2"), 0};
    if (key == QLatin1String("C5C2"))
        return {QStringLiteral("communicatie"), 0};
    if (key == QLatin1String("C5C5"))
        return {QStringLiteral("settings"), 0};
    return {};
}

QString nodeForPanel(const QString& panel, qint64 id)
{
    for (const RecordBranch& b : kRecordBranches)
        if (panel == QLatin1String(b.panel))
            return QLatin1String(b.prefix) + QString::number(id);
    // The detail view is reached from the current-alarm list.
    if (panel == QLatin1String("actueel") || panel == QLatin1String("AlarmDetail1"))
        return QStringLiteral("C1");
    if (panel == QLatin1String("Overzichten1"))
        return QStringLiteral("C4C1");
    if (panel == QLatin1String("Overzicht2"))
        return QStringLiteral("C4C2");
    if (panel == QLatin1String("communicatie"))
        return QStringLiteral("C5C2");
    if (panel == QLatin1String("settings"))
        return QStringLiteral("C5C5");
    return {};
}

NavigationTree::NavigationTree(const DatabaseConnector& conn, const ImageList& images, EventLog& log, QWidget* parent)
    : QTreeWidget(parent), m_conn(conn), m_images(images), m_log(log)
{
    setObjectName(QStringLiteral("menuTree"));
    setHeaderHidden(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        m_clicked = true;
        Q_EMIT nodeChosen(keyOf(item));
    });
}

void NavigationTree::keyPressEvent(QKeyEvent* event)
{
    // Enter or Space does on the cursor's node what a click does.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        if (QTreeWidgetItem* item = currentItem()) {
            Q_EMIT nodeChosen(keyOf(item));
            event->accept();
            return;
        }
    }
    // The panel follows the cursor, as it follows a click: what the tree
    // highlights is what the panel shows.
    QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    if (currentItem() && currentItem() != before)
        Q_EMIT nodeChosen(keyOf(currentItem()));
}

void NavigationTree::mousePressEvent(QMouseEvent* event)
{
    m_currentAtPress = currentItem();
    m_clicked = false;
    QTreeWidget::mousePressEvent(event);
}

void NavigationTree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    // A press that moved the cursor but was released elsewhere is no click;
    // the panel still follows the cursor.
    if (!m_clicked && currentItem() && currentItem() != m_currentAtPress)
        Q_EMIT nodeChosen(keyOf(currentItem()));
    m_clicked = false;
}

void NavigationTree::highlight(const QString& key)
{
    const QSignalBlocker quiet(this);
    QTreeWidgetItem* item = key.isEmpty() ? nullptr : node(key);
    setCurrentItem(item);
    if (!item)
        clearSelection();
    else
        scrollToItem(item);
    viewport()->update();
}

QString NavigationTree::keyOf(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kKeyRole).toString() : QString();
}

QTreeWidgetItem* NavigationTree::node(const QString& key) const
{
    QTreeWidgetItemIterator it(const_cast<NavigationTree*>(this));
    for (; *it; ++it)
        if (keyOf(*it) == key)
            return *it;
    return nullptr;
}

QTreeWidgetItem* NavigationTree::add(QTreeWidgetItem* parent, const QString& key, const QString& caption, int image)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, caption);
    // A long name is cut off at the tree's edge; pointing at it shows it whole.
    item->setToolTip(0, caption);
    item->setData(0, kKeyRole, key);
    item->setIcon(0, m_images.icon(image));
    return item;
}

void NavigationTree::build()
{
    clear();
    using I = ImageList;
    QTreeWidgetItem* root = add(nullptr, QStringLiteral("R"), QStringLiteral("Taviro"), I::Mereth16);
    add(root, QStringLiteral("C1"), QStringLiteral("Actueel"), I::About16);
    add(root, QStringLiteral("C2"), QStringLiteral("Melders"), I::Exp16);
    reloadMelderTree();
    QTreeWidgetItem* roosters = add(root, QStringLiteral("C3"), QStringLiteral("Roosters"), I::Cal16);
    add(roosters, QStringLiteral("C3C1"), QStringLiteral("Ontvangers"), I::Group16);
    reloadOntvangersTree();
    add(roosters, QStringLiteral("C3C2"), QStringLiteral("Weekplanning"), I::Cal);
    reloadWeekTree();
    add(roosters, QStringLiteral("C3C3"), QStringLiteral("Jaarplanning"), I::Calendar);
    reloadJaarTree();
    QTreeWidgetItem* overzicht = add(root, QStringLiteral("C4"), QStringLiteral("Overzicht"), I::Smicn16);
    add(overzicht, QStringLiteral("C4C1"), QStringLiteral("Per melder op datum"), I::Srch16);
    add(overzicht, QStringLiteral("C4C2"), QStringLiteral("Alles op datum"), I::Pro2);
    QTreeWidgetItem* instellingen = add(root, QStringLiteral("C5"), QStringLiteral("Instellingen"), I::ConfigSmall);
    add(instellingen, QStringLiteral("C5C1"), QStringLiteral("Gebruikers"), I::Group16);
    reloadGebruikersTree();
    add(instellingen, QStringLiteral("C5C2"), QStringLiteral("COM Poorten"), I::Phone16);
    add(instellingen, QStringLiteral("C5C5"), QStringLiteral("Opties"), I::Prefs16);
    // The operator sees every branch at a glance; record lists stay folded.
    expandItem(root);
    for (QTreeWidgetItem* group : {roosters, overzicht, instellingen})
        expandItem(group);
}

void NavigationTree::clearBranch(const QString& groupKey)
{
    if (QTreeWidgetItem* group = node(groupKey))
        qDeleteAll(group->takeChildren());
}

void NavigationTree::addNewNode(const QString& groupKey, const QString& prefix)
{
    if (QTreeWidgetItem* group = node(groupKey))
        add(group, prefix + QLatin1Char('0'), QStringLiteral("Nieuw..."), ImageList::Add16);
}

template <class Repo, class Caption>
void NavigationTree::fillBranch(const QString& groupKey, const QString& prefix, int image, Caption caption)
{
    clearBranch(groupKey);
    QTreeWidgetItem* group = node(groupKey);
    if (!group)
        return;
    auto rows = Repo(m_conn).listActive(QStringLiteral("naam, id"));
    if (!rows) {
        m_log.writeLog(QStringLiteral("Boom %1 kan niet worden gelezen: %2").arg(group->text(0), rows.error()), 1);
        return;
    }
    for (const auto& row : *rows)
        caption(add(group, prefix + QString::number(row.id), row.naam + QStringLiteral(" (") + row.alias + QLatin1Char(')'), image), row);
}

void NavigationTree::reloadMelderTree()
{
    fillBranch<MelderRepository>(QStringLiteral("C2"), QStringLiteral("C2CM"), ImageList::Splay16,
                                 [](QTreeWidgetItem* item, const Melder& m) {
                                     item->setText(0, m.naam + QStringLiteral(" (") + m.adres + QLatin1Char(')'));
                                     item->setToolTip(0, item->text(0));
                                     QFont f = item->font(0);
                                     f.setBold(!m.actief); // an inactive transmitter stands out
                                     item->setFont(0, f);
                                 });
    Q_EMIT branchReloaded();
}

void NavigationTree::reloadOntvangersTree()
{
    fillBranch<OntvangerRepository>(QStringLiteral("C3C1"), QStringLiteral("C3C1Co"), ImageList::Addbk16,
                                    [](QTreeWidgetItem*, const Ontvanger&) {});
    addNewNode(QStringLiteral("C3C1"), QStringLiteral("C3C1Co"));
    Q_EMIT branchReloaded();
}

void NavigationTree::reloadWeekTree()
{
    fillBranch<WeekPlanningRepository>(QStringLiteral("C3C2"), QStringLiteral("C3C2Cw"), ImageList::Splay16,
                                       [](QTreeWidgetItem*, const WeekPlanning&) {});
    addNewNode(QStringLiteral("C3C2"), QStringLiteral("C3C2Cw"));
    Q_EMIT branchReloaded();
}

void NavigationTree::reloadJaarTree()
{
    fillBranch<JaarPlanningRepository>(QStringLiteral("C3C3"), QStringLiteral("C3C3Cj"), ImageList::Splay16,
                                       [](QTreeWidgetItem*, const JaarPlanning&) {});
    Q_EMIT branchReloaded();
}

void NavigationTree::reloadGebruikersTree()
{
    fillBranch<GebruikerRepository>(QStringLiteral("C5C1"), QStringLiteral("C5C1Cg"), ImageList::User16,
                                    [](QTreeWidgetItem*, const Gebruiker&) {});
    addNewNode(QStringLiteral("C5C1"), QStringLiteral("C5C1Cg"));
    Q_EMIT branchReloaded();
}

void NavigationTree::reloadBranch(const QString& branch)
{
    if (branch == QLatin1String("melders"))
        reloadMelderTree();
    else if (branch == QLatin1String("ontvangers"))
        reloadOntvangersTree();
    else if (branch == QLatin1String("weekplanningen"))
        reloadWeekTree();
    else if (branch == QLatin1String("jaarplanningen"))
        reloadJaarTree();
    else if (branch == QLatin1String("gebruikers"))
        reloadGebruikersTree();
}

} // namespace taviro
