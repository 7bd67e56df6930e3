#pragma once

#include "EditorPanel.h"
#include "Rows.h"

class QCheckBox;
class QLineEdit;

namespace taviro {

class PlanningSourceList;
class WeekGrid;

// A week schedule: who is called in which block of which day. Recipients are
// dragged from the list into the cells, or placed with the keyboard (choose a
// cell, choose a recipient, Enter; Delete empties a cell). A save reloads the
// schedules in memory so the next alarm already follows it.
class WeekPlannerPanel : public EditorPanel
{
    Q_OBJECT
public:
    WeekPlannerPanel(EditorContext& ctx, QWidget* parent = nullptr);

    void showItem(qint64 id) override;
    void showPlanning(qint64 id) { showItem(id); }
    bool writeDB() override;
    bool isChanged() const override { return m_changed; }
    void deleteItem();

    const WeekPlanning& record() const { return m_row; }
    WeekGrid* grid() const { return m_grid; }
    PlanningSourceList* recipientList() const { return m_list; }

protected:
    bool readForm() override;
    void afterSave() override;
    QString changeQuestion() const override { return planningChangeQuestion(); }

private:
    void fillRecipients();
    void fillForm();
    void applyBlock2(bool on);
    void applyBlock3(bool on);
    void applyPositions();
    // Checks a time box as it is left; a refused time keeps the focus.
    bool checkTime(int box, bool refocus);
    void placeChosenRecipient(int cell, qint64 key, const QString& text);
    void markChanged() { m_changed = true; }
    void setReadingTabOrder(const QList<QWidget*>& buttons);

    WeekPlanning m_row;
    bool m_changed = false;
    bool m_checkingTime = false;
    QLineEdit *m_alias, *m_naam;
    QLineEdit* m_times[3];
    QCheckBox *m_rij2, *m_rij3, *m_second, *m_third;
    WeekGrid* m_grid;
    PlanningSourceList* m_list;
};

} // namespace taviro
