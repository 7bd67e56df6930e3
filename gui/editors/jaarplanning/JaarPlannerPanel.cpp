#include "JaarPlannerPanel.h"

#include "Clock.h"
#include "FormHelpers.h"
#include "PlanningDnd.h"
#include "Repositories.h"
#include "ScheduleCache.h"

#include <QCalendarWidget>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace taviro {

namespace {
constexpr int kColumns = 6;
}

JaarPlannerPanel::JaarPlannerPanel(EditorContext& ctx, QWidget* parent)
    : EditorPanel(ctx, QStringLiteral("jaarplanningen"), parent)
{
    setObjectName(QStringLiteral("JaarPlanner1"));
    auto* head = new QGroupBox(QStringLiteral("Jaarplanning"), this);
    auto* headForm = new QFormLayout(head);
    m_naam = form::addTextRow(headForm, QStringLiteral("txtnaam"), QStringLiteral("Naam"));
    connect(m_naam, &QLineEdit::textEdited, this, [this] { m_changed = true; });

    auto* weeks = new QGroupBox(QStringLiteral("Weken"), this);
    auto* grid = new QGridLayout(weeks);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    for (int w = 1; w <= JaarPlanning::kWeeks; ++w) {
        const int row = (w - 1) / kColumns, col = (w - 1) % kColumns;
        auto* label = new QLabel(QStringLiteral("Week %1").arg(w), weeks);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* slot = new PlanningSlot(mimeType(), w, weeks);
        slot->setObjectName(QStringLiteral("weekItem_%1").arg(w));
        slot->setMinimumWidth(52);
        m_slots[w - 1] = slot;
        grid->addWidget(label, row, 2 * col);
        grid->addWidget(slot, row, 2 * col + 1);
        grid->setColumnStretch(2 * col + 1, 1);
        grid->setRowStretch((JaarPlanning::kWeeks - 1) / kColumns + 1, 1);
        connect(slot, &PlanningSlot::dropped, this,
                [this](int week, qint64 key, const QString& text) {
                    setCurrentWeek(week);
                    place(week, key, text);
                });
        connect(slot, &PlanningSlot::clicked, this, &JaarPlannerPanel::setCurrentWeek);
        connect(slot, &PlanningSlot::clearRequested, this,
                [this](int week) { place(week, 0, {}); });
        connect(slot, &PlanningSlot::moveRequested, this, [this](int week, int columns, int rows) {
            const int to = qBound(1, week + columns + rows * kColumns, int(JaarPlanning::kWeeks));
            setCurrentWeek(to);
            m_slots[to - 1]->setFocus(Qt::TabFocusReason);
        });
        connect(slot, &PlanningSlot::enterPressed, this, [this](int week) {
            if (auto* item = m_list->currentItem())
                place(week, item->data(Qt::UserRole).toLongLong(),
                      PlanningSourceList::aliasFromText(item->text()));
        });
    }

    m_slots[0]->setTabStop(true); // the weeks' way in before one is chosen
    m_list = new PlanningSourceList(mimeType(), this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setMinimumWidth(150);
    connect(m_list, &PlanningSourceList::itemChosen, this, [this](qint64 key, const QString& text) {
        if (m_currentWeek > 0)
            place(m_currentWeek, key, text);
    });
    // For orientation only: which week it is now.
    auto* calendar = new QCalendarWidget(this);
    calendar->setObjectName(QStringLiteral("MonthView1"));
    calendar->setLocale(QLocale(QLocale::Dutch, QLocale::Netherlands));
    calendar->setFirstDayOfWeek(Qt::Monday);
    calendar->setSelectedDate(m_ctx.clock.now().date());
    calendar->setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    calendar->setMaximumWidth(280);

    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(QStringLiteral("weekplanning"), this));
    side->addWidget(m_list, 1);
    side->addWidget(calendar);

    auto* middle = new QHBoxLayout;
    middle->addWidget(weeks, 1);
    middle->addLayout(side);

    auto* opslaan = form::button(this, QStringLiteral("cmdOpslaan"), QStringLiteral("Opslaan"));
    auto* verwijder = form::button(this, QStringLiteral("Command2"), QStringLiteral("Verwijder"));
    connect(opslaan, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(verwijder, &QPushButton::clicked, this, [this] { deleteItem(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(opslaan);
    buttons->addWidget(verwijder);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(head);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    showItem(0);
}

void JaarPlannerPanel::fillWeekSchedules()
{
    auto rows = WeekPlanningRepository(m_ctx.conn).listActive(QStringLiteral("naam"));
    if (!rows)
        logFailure(QStringLiteral("weekplanningen lezen"), rows.error());
    QList<QPair<qint64, QString>> items;
    if (rows) {
        for (const WeekPlanning& w : *rows)
            items.append({w.id, w.naam + QStringLiteral(" (") + w.alias + QLatin1Char(')')});
    }
    m_list->fill(items);
}

void JaarPlannerPanel::showItem(qint64 id)
{
    fillWeekSchedules();
    if (id == 0) {
        m_row = JaarPlanning{};
    } else if (auto found = JaarPlanningRepository(m_ctx.conn).find(id);
               found && found->has_value()) {
        m_row = **found;
    } else if (!found) {
        logFailure(QStringLiteral("laden"), found.error());
    }
    m_id = m_row.id;
    m_naam->setText(m_row.naam);
    WeekPlanningRepository weeks(m_ctx.conn);
    for (int w = 1; w <= JaarPlanning::kWeeks; ++w) {
        const qint64 key = m_row.weeks[w - 1];
        QString text;
        if (key != 0) {
            // "?" marks a week schedule deleted since; it still holds that week.
            auto found = weeks.find(key);
            text = (found && found->has_value() && !(*found)->deleted) ? (*found)->alias
                                                                       : QStringLiteral("?");
        }
        m_slots[w - 1]->assign(key, text);
    }
    setCurrentWeek(0);
    m_changed = false;
}

void JaarPlannerPanel::setCurrentWeek(int week)
{
    if (m_currentWeek > 0)
        m_slots[m_currentWeek - 1]->setCurrent(false);
    m_currentWeek = week;
    if (week > 0)
        m_slots[week - 1]->setCurrent(true);
    m_slots[0]->setTabStop(week <= 1);
}

void JaarPlannerPanel::place(int week, qint64 key, const QString& text)
{
    if (m_slots[week - 1]->key() == key)
        return; // emptying an empty week or placing what it holds changes nothing
    m_slots[week - 1]->assign(key, text);
    m_changed = true;
}

bool JaarPlannerPanel::readForm()
{
    m_row.naam = m_naam->text();
    for (int w = 1; w <= JaarPlanning::kWeeks; ++w)
        m_row.weeks[w - 1] = m_slots[w - 1]->key();
    return true;
}

bool JaarPlannerPanel::writeDB()
{
    return storeRecord(JaarPlanningRepository(m_ctx.conn), m_row, [](auto& record, const auto& stored) {
        // The alias is not edited here; keep what the row holds.
        record.alias = stored.alias;
    });
}

void JaarPlannerPanel::afterSave()
{
    m_changed = false;
    if (Status s = m_ctx.cache.load(m_ctx.conn, m_ctx.log); !s)
        logFailure(QStringLiteral("roosters herladen"), s.error());
}

void JaarPlannerPanel::deleteItem()
{
    if (m_id == 0)
        return;
    // Transmitters and points that name this year schedule keep finding it in
    // the schedules in memory, where deleted schedules stay.
    // The delete and the schedules' change counter go together, so no
    // station misses it.
    if (!deleteInTransaction([this] { return JaarPlanningRepository(m_ctx.conn).softDelete(m_id); }))
        return;
    m_changed = false;
    finishDelete();
}

} // namespace taviro
