#pragma once

#include "EditorPanel.h"

#include <QList>
#include <QStringList>

#include <memory>

namespace taviro {

class DatabaseConnector;

// One record node of the navigation tree.
struct BranchItem
{
    qint64 id = 0;
    QString caption;
    bool bold = false; // an inactive transmitter stands out
};

// The branches with an editor, in the names treeChanged() reports:
// "melders", "ontvangers", "weekplanningen", "jaarplanningen", "comports",
// "settings", "gebruikers".
QStringList editorBranches();

// The editor of a branch; nullptr for a name that has none.
std::unique_ptr<EditorPanel> createEditor(const QString& branch, EditorContext& ctx,
                                          QWidget* parent = nullptr);

// The records a branch lists, sorted by name, deleted ones left out. The two
// branches without records ("comports", "settings") list nothing.
Result<QList<BranchItem>> branchItems(const DatabaseConnector& conn, const QString& branch);

// Whether the branch ends in a "Nieuw..." node (id 0, a new record).
// Transmitters arrive with their first report and are never made by hand;
// the year-schedule branch has no such node either.
bool branchHasNewNode(const QString& branch);

} // namespace taviro
