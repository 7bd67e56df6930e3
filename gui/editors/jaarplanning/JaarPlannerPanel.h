#pragma once

#include "EditorPanel.h"
#include "Rows.h"

#include <array>

class QLineEdit;

namespace taviro {

class PlanningSlot;
class PlanningSourceList;

// A year schedule: which week schedule holds for each of the 53 week numbers.
// Week schedules are dragged into the week slots, or placed with the keyboard
// like recipients in the week grid. A save reloads the schedules in memory.
class JaarPlannerPanel : public EditorPanel
{
    Q_OBJECT
public:
    static QString mimeType() { return QStringLiteral("application/x-taviro-weekplanning"); }

    JaarPlannerPanel(EditorContext& ctx, QWidget* parent = nullptr);

    void showItem(qint64 id) override;
    void showPlanning(qint64 id) { showItem(id); }
    bool writeDB() override;
    bool isChanged() const override { return m_changed; }
    void deleteItem();

    const JaarPlanning& record() const { return m_row; }
    // Week 1..53.
    PlanningSlot* weekSlot(int week) const { return m_slots[week - 1]; }
    PlanningSourceList* weekList() const { return m_list; }

protected:
    bool readForm() override;
    void afterSave() override;
    QString changeQuestion() const override { return planningChangeQuestion(); }

private:
    void fillWeekSchedules();
    void place(int week, qint64 key, const QString& text);
    void setCurrentWeek(int week);

    JaarPlanning m_row;
    bool m_changed = false;
    int m_currentWeek = 0;
    QLineEdit* m_naam;
    std::array<PlanningSlot*, JaarPlanning::kWeeks> m_slots{};
    PlanningSourceList* m_list;
};

} // namespace taviro
