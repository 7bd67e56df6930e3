#include "WeekGrid.h"

#include "PlanningDnd.h"

#include <QGridLayout>
#include <QLabel>

namespace taviro {

namespace {

// Rows: one header row, then for each block its three positions and a gap
// that keeps the blocks apart for the eye.
int rowOf(int position, int block)
{
    return 1 + 4 * block + position;
}

} // namespace

WeekGrid::WeekGrid(QWidget* parent) : QWidget(parent), m_layout(new QGridLayout(this))
{
    m_layout->setHorizontalSpacing(4);
    m_layout->setVerticalSpacing(2);
    const QStringList days{QStringLiteral("Maandag"),  QStringLiteral("Dinsdag"),
                           QStringLiteral("Woensdag"), QStringLiteral("Donderdag"),
                           QStringLiteral("Vrijdag"),  QStringLiteral("Zaterdag"),
                           QStringLiteral("Zondag")};
    for (int d = 0; d < 7; ++d) {
        auto* head = new QLabel(days[d], this);
        head->setAlignment(Qt::AlignCenter);
        m_layout->addWidget(head, 0, 2 + d);
    }
    const QStringList positions{QStringLiteral("1e"), QStringLiteral("2e"), QStringLiteral("3e")};
    for (int block = 0; block < 3; ++block) {
        for (int pos = 0; pos < 3; ++pos) {
            auto* label = new QLabel(positions[pos], this);
            m_layout->addWidget(label, rowOf(pos, block), 1);
            for (int day = 0; day < 7; ++day) {
                const int i = WeekPlanning::cellIndex(pos, day, block);
                auto* slot = new PlanningSlot(mimeType(), i, this);
                slot->setObjectName(QStringLiteral("weekItem_%1").arg(i));
                slot->setMinimumWidth(46);
                m_cells[i] = slot;
                m_layout->addWidget(slot, rowOf(pos, block), 2 + day);
                connect(slot, &PlanningSlot::dropped, this,
                        [this](int index, qint64 k, const QString& text) {
                            setCurrentCell(index);
                            if (key(index) == k)
                                return; // the recipient the cell already holds
                            setCell(index, k, text);
                            Q_EMIT cellChanged(index);
                        });
                connect(slot, &PlanningSlot::clicked, this, &WeekGrid::setCurrentCell);
                connect(slot, &PlanningSlot::clearRequested, this, [this](int index) {
                    if (key(index) == 0)
                        return; // already empty: nothing to save
                    setCell(index, 0, {});
                    Q_EMIT cellChanged(index);
                });
                connect(slot, &PlanningSlot::enterPressed, this, &WeekGrid::placeRequested);
                connect(slot, &PlanningSlot::moveRequested, this, &WeekGrid::moveCurrent);
            }
        }
        m_layout->setRowMinimumHeight(rowOf(2, block) + 1, 8);
    }
    for (int d = 0; d < 7; ++d)
        m_layout->setColumnStretch(2 + d, 1);
    m_layout->setColumnMinimumWidth(0, 130);
    m_cells[0]->setTabStop(true); // the grid's way in before a cell is chosen
}

void WeekGrid::setCell(int index, qint64 key, const QString& text)
{
    m_cells[index]->assign(key, text);
}

qint64 WeekGrid::key(int index) const
{
    return m_cells[index]->key();
}

void WeekGrid::setCurrentCell(int index)
{
    if (m_current >= 0)
        m_cells[m_current]->setCurrent(false);
    m_current = index;
    if (index >= 0)
        m_cells[index]->setCurrent(true);
    m_cells[0]->setTabStop(index <= 0);
}

void WeekGrid::moveCurrent(int from, int columns, int rows)
{
    // Rows run block by block, the three positions of a block under each other.
    const int position = from / 21, day = (from % 21) / 3, block = from % 3;
    const int row = qBound(0, 3 * block + position + rows, 8);
    const int nextDay = qBound(0, day + columns, 6);
    const int to = WeekPlanning::cellIndex(row % 3, nextDay, row / 3);
    setCurrentCell(to);
    m_cells[to]->setFocus(Qt::TabFocusReason);
}

void WeekGrid::setBlockControls(int block, QWidget* controls)
{
    m_layout->addWidget(controls, rowOf(0, block), 0, 3, 1, Qt::AlignTop);
}

} // namespace taviro
