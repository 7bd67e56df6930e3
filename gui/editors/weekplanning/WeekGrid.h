#pragma once

#include "Rows.h"

#include <QWidget>

#include <array>

class QGridLayout;

namespace taviro {

class PlanningSlot;

// The 63 duty cells of a week schedule: seven days across, three blocks down,
// each block with the first, second and third recipient under each other.
// Cell i = 21 * position + 3 * day + block, the column "i" it is stored in.
class WeekGrid : public QWidget
{
    Q_OBJECT
public:
    static QString mimeType() { return QStringLiteral("application/x-taviro-ontvanger"); }

    explicit WeekGrid(QWidget* parent = nullptr);

    PlanningSlot* cell(int index) const { return m_cells[index]; }
    void setCell(int index, qint64 key, const QString& text);
    qint64 key(int index) const;
    // The cell the keyboard fills; -1 before one was chosen.
    int currentCell() const { return m_current; }
    void setCurrentCell(int index);
    // Arrow keys: the cell that many days across and rows down, at the edges
    // the last one there is.
    void moveCurrent(int from, int columns, int rows);
    // Controls shown left of a block (its start time and switch).
    void setBlockControls(int block, QWidget* controls);

Q_SIGNALS:
    // A recipient arrived in a cell or a cell was emptied.
    void cellChanged(int index);
    // Enter on a cell: place the recipient chosen in the list.
    void placeRequested(int index);

private:
    QGridLayout* m_layout;
    std::array<PlanningSlot*, WeekPlanning::kCells> m_cells{};
    int m_current = -1;
};

} // namespace taviro
