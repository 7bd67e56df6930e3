#include "WeekPlannerPanel.h"

#include "BlockTime.h"
#include "DatabaseConnector.h"
#include "FormHelpers.h"
#include "PlanningDnd.h"
#include "Repositories.h"
#include "ScheduleCache.h"
#include "WeekGrid.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace taviro {

namespace {

const QString kNever = QStringLiteral("24:00");

// Cells of one block for one position, one per day.
QList<int> blockCells(int position, int block)
{
    QList<int> cells;
    for (int day = 0; day < 7; ++day)
        cells << WeekPlanning::cellIndex(position, day, block);
    return cells;
}

} // namespace

WeekPlannerPanel::WeekPlannerPanel(EditorContext& ctx, QWidget* parent)
    : EditorPanel(ctx, QStringLiteral("weekplanningen"), parent)
{
    setObjectName(QStringLiteral("WeekPlanner1"));
    auto* head = new QGroupBox(QStringLiteral("Weekplanning"), this);
    auto* headForm = new QFormLayout(head);
    m_alias = form::addTextRow(headForm, QStringLiteral("txtalias"), QStringLiteral("Alias"));
    m_naam = form::addTextRow(headForm, QStringLiteral("txtnaam"), QStringLiteral("Naam"));
    connect(m_alias, &QLineEdit::textEdited, this, [this] { markChanged(); });
    connect(m_naam, &QLineEdit::textEdited, this, [this] { markChanged(); });

    m_grid = new WeekGrid(this);
    m_rij2 = form::checkBox(this, QStringLiteral("activeerRij2Check"),
                            QStringLiteral("Blok 2 in gebruik"));
    m_rij3 = form::checkBox(this, QStringLiteral("activeerRij3Check"),
                            QStringLiteral("Blok 3 in gebruik"));
    for (int b = 0; b < 3; ++b) {
        auto* box = new QWidget(m_grid);
        auto* v = new QVBoxLayout(box);
        v->setContentsMargins(0, 0, 0, 0);
        v->addWidget(new QLabel(QStringLiteral("Blok %1 vanaf").arg(b + 1), box));
        m_times[b] = form::textBox(box, QStringLiteral("txttime%1").arg(b + 1));
        m_times[b]->setMaximumWidth(70);
        v->addWidget(m_times[b]);
        if (b == 1)
            v->addWidget(m_rij2);
        if (b == 2)
            v->addWidget(m_rij3);
        m_grid->setBlockControls(b, box);
        connect(m_times[b], &QLineEdit::textEdited, this, [this] { markChanged(); });
        connect(m_times[b], &QLineEdit::editingFinished, this,
                [this, b] { checkTime(b + 1, true); });
    }
    m_second = form::checkBox(this, QStringLiteral("chkboxSecond"),
                              QStringLiteral("Tweede ontvanger in gebruik"));
    m_third = form::checkBox(this, QStringLiteral("chkboxThird"),
                             QStringLiteral("Derde ontvanger in gebruik"));
    connect(m_rij2, &QCheckBox::clicked, this, [this](bool on) {
        markChanged();
        applyBlock2(on);
    });
    connect(m_rij3, &QCheckBox::clicked, this, [this](bool on) {
        markChanged();
        applyBlock3(on);
    });
    for (QCheckBox* box : {m_second, m_third}) {
        connect(box, &QCheckBox::clicked, this, [this] {
            markChanged();
            applyPositions();
        });
    }

    m_list = new PlanningSourceList(WeekGrid::mimeType(), this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setMinimumWidth(150);
    connect(m_list, &PlanningSourceList::itemChosen, this, [this](qint64 key, const QString& text) {
        placeChosenRecipient(m_grid->currentCell(), key, text);
    });
    connect(m_grid, &WeekGrid::placeRequested, this, [this](int cell) {
        if (auto* item = m_list->currentItem())
            placeChosenRecipient(cell, item->data(Qt::UserRole).toLongLong(),
                                 PlanningSourceList::aliasFromText(item->text()));
    });
    // Placing recipients is the work of this panel; leaving without saving
    // must not lose it silently.
    connect(m_grid, &WeekGrid::cellChanged, this, [this] { markChanged(); });

    auto* opslaan = form::button(this, QStringLiteral("cmdOpslaan"), QStringLiteral("Opslaan"));
    auto* verwijder =
        form::button(this, QStringLiteral("cmdVerwijder"), QStringLiteral("Verwijder"));
    connect(opslaan, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(verwijder, &QPushButton::clicked, this, [this] { deleteItem(); });

    auto* gridFrame = new QGroupBox(QStringLiteral("Planning"), this);
    auto* gridBox = new QVBoxLayout(gridFrame);
    auto* positions = new QHBoxLayout;
    positions->addWidget(m_second);
    positions->addWidget(m_third);
    positions->addStretch();
    gridBox->addLayout(positions);
    gridBox->addWidget(m_grid);
    gridBox->addStretch();
    auto* hint = new QLabel(QStringLiteral("Sleep een ontvanger naar een vak, of kies een "
                                           "vak (muis of pijltjestoetsen) en een ontvanger "
                                           "en druk op Enter. Delete maakt een vak leeg."),
                            gridFrame);
    // Wrapped, so the hint never widens the panel past the window.
    hint->setWordWrap(true);
    gridBox->addWidget(hint);

    auto* listBox = new QVBoxLayout;
    listBox->addWidget(new QLabel(QStringLiteral("ontvangers"), this));
    listBox->addWidget(m_list);

    auto* middle = new QHBoxLayout;
    middle->addWidget(gridFrame, 1);
    middle->addLayout(listBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(opslaan);
    buttons->addWidget(verwijder);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(head);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    setReadingTabOrder({opslaan, verwijder});
    showItem(0);
}

void WeekPlannerPanel::setReadingTabOrder(const QList<QWidget*>& buttons)
{
    // Tab reads the panel as the eye does: the head, then block by block its
    // start time and switch followed by its cells row by row, then the
    // recipients and the buttons.
    QList<QWidget*> order{m_alias, m_naam, m_second, m_third};
    for (int block = 0; block < 3; ++block) {
        order << m_times[block];
        if (block == 1)
            order << m_rij2;
        if (block == 2)
            order << m_rij3;
        for (int position = 0; position < 3; ++position)
            for (int day = 0; day < 7; ++day)
                order << m_grid->cell(WeekPlanning::cellIndex(position, day, block));
    }
    order << m_list << buttons;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void WeekPlannerPanel::fillRecipients()
{
    auto rows = OntvangerRepository(m_ctx.conn).listActive(QStringLiteral("naam"));
    if (!rows)
        logFailure(QStringLiteral("ontvangers lezen"), rows.error());
    QList<QPair<qint64, QString>> items;
    if (rows) {
        for (const Ontvanger& o : *rows)
            items.append({o.id, o.naam + QStringLiteral(" (") + o.alias + QLatin1Char(')')});
    }
    m_list->fill(items);
}

void WeekPlannerPanel::showItem(qint64 id)
{
    fillRecipients();
    if (id == 0) {
        m_row = WeekPlanning{};
        m_row.time1 = QStringLiteral("00:00");
        m_row.time2 = kNever;
        m_row.time3 = kNever;
    } else if (auto found = WeekPlanningRepository(m_ctx.conn).find(id);
               found && found->has_value()) {
        m_row = **found;
    } else if (!found) {
        logFailure(QStringLiteral("laden"), found.error());
    }
    m_id = m_row.id;
    fillForm();
    m_changed = false;
}

void WeekPlannerPanel::fillForm()
{
    m_alias->setText(m_row.alias);
    m_naam->setText(m_row.naam);
    m_times[0]->setText(m_row.time1);
    m_times[1]->setText(m_row.time2);
    m_times[2]->setText(m_row.time3);

    OntvangerRepository recipients(m_ctx.conn);
    for (int i = 0; i < WeekPlanning::kCells; ++i) {
        const qint64 key = m_row.cells[i];
        QString text;
        if (key != 0) {
            // A recipient deleted since shows as "?": still planned, and
            // delivery will say so, but the installer should replace it.
            auto o = recipients.find(key);
            text = (o && o->has_value() && !(*o)->deleted) ? (*o)->alias : QStringLiteral("?");
        }
        m_grid->setCell(i, key, text);
    }
    m_grid->setCurrentCell(-1);

    m_rij2->setChecked(m_row.Rij2Actief);
    applyBlock2(m_row.Rij2Actief);
    m_rij3->setChecked(m_row.Rij3Actief);
    applyBlock3(m_row.Rij3Actief);
    // Switching the blocks on above reset their start times to "24:00"; a
    // block in use shows the start it was stored with, or a save of the
    // loaded schedule would silently take its recipients off duty.
    if (m_row.Rij2Actief)
        m_times[1]->setText(m_row.time2);
    if (m_row.Rij2Actief && m_row.Rij3Actief)
        m_times[2]->setText(m_row.time3);
    m_second->setChecked(m_row.chkSecond);
    m_third->setChecked(m_row.chkThird);
    applyPositions();
}

void WeekPlannerPanel::applyBlock2(bool on)
{
    m_times[1]->setEnabled(on);
    for (int i : blockCells(0, 1))
        m_grid->cell(i)->setEnabled(on);
    m_rij3->setChecked(false);
    applyBlock3(false);
    m_rij3->setEnabled(on);
    if (!on)
        m_times[1]->setText(kNever);
}

void WeekPlannerPanel::applyBlock3(bool on)
{
    const bool enabled = on && m_rij2->isChecked();
    m_times[2]->setEnabled(enabled);
    for (int i : blockCells(0, 2))
        m_grid->cell(i)->setEnabled(enabled);
    if (!enabled)
        m_times[2]->setText(kNever);
}

void WeekPlannerPanel::applyPositions()
{
    // The cells keep their recipients when a position is switched off; they
    // are stored all the same and come back when it is switched on again.
    for (int i = 21; i < 42; ++i)
        m_grid->cell(i)->setEnabled(m_second->isChecked());
    for (int i = 42; i < 63; ++i)
        m_grid->cell(i)->setEnabled(m_third->isChecked());
}

bool WeekPlannerPanel::checkTime(int box, bool refocus)
{
    if (m_checkingTime)
        return true;
    const QString problem =
        blockTimeProblem(box, {m_times[0]->text(), m_times[1]->text(), m_times[2]->text()});
    if (problem.isEmpty())
        return true;
    m_checkingTime = true;
    tell(problem);
    m_checkingTime = false;
    if (refocus) {
        QLineEdit* edit = m_times[box - 1];
        QTimer::singleShot(0, edit, [edit] {
            edit->setFocus();
            edit->selectAll();
        });
    }
    return false;
}

void WeekPlannerPanel::placeChosenRecipient(int cell, qint64 key, const QString& text)
{
    if (cell < 0 || !m_grid->cell(cell)->isEnabled() || m_grid->key(cell) == key)
        return;
    m_grid->setCell(cell, key, text);
    markChanged();
}

bool WeekPlannerPanel::readForm()
{
    for (int box = 1; box <= 3; ++box) {
        if (!m_times[box - 1]->isEnabled())
            continue;
        if (!checkTime(box, true))
            return false;
    }
    if (auto others = WeekPlanningRepository(m_ctx.conn).listActive(); others) {
        for (const WeekPlanning& w : *others) {
            if (w.id != m_id && !m_alias->text().isEmpty() && w.alias == m_alias->text()) {
                noteDuplicateAlias(w.alias, w.naam);
                break;
            }
        }
    }
    m_row.alias = m_alias->text();
    m_row.naam = m_naam->text();
    m_row.chkSecond = m_second->isChecked();
    m_row.chkThird = m_third->isChecked();
    m_row.time1 = storedBlockTime(m_times[0]->text());
    m_row.time2 = storedBlockTime(m_times[1]->text());
    m_row.time3 = storedBlockTime(m_times[2]->text());
    m_row.Rij2Actief = m_rij2->isChecked();
    m_row.Rij3Actief = m_rij3->isChecked();
    for (int i = 0; i < WeekPlanning::kCells; ++i)
        m_row.cells[i] = m_grid->key(i);
    return true;
}

bool WeekPlannerPanel::writeDB()
{
    return storeRecord(WeekPlanningRepository(m_ctx.conn), m_row);
}

void WeekPlannerPanel::afterSave()
{
    m_changed = false;
    if (Status s = m_ctx.cache.load(m_ctx.conn, m_ctx.log); !s)
        logFailure(QStringLiteral("roosters herladen"), s.error());
}

void WeekPlannerPanel::deleteItem()
{
    if (m_id == 0)
        return;
    auto years = JaarPlanningRepository(m_ctx.conn).listActive();
    if (!years) {
        logFailure(QStringLiteral("verwijderen"), years.error());
        return;
    }
    for (const JaarPlanning& y : *years) {
        if (std::find(y.weeks.begin(), y.weeks.end(), m_id) != y.weeks.end()) {
            tell(QStringLiteral("Weekrooster kan niet verwijderd worden. Dit weekrooster staat nog "
                                "in het jaarrooster."));
            return;
        }
    }
    // The delete and the schedules' change counter go together, so no
    // station misses it.
    if (!deleteInTransaction([this] { return WeekPlanningRepository(m_ctx.conn).softDelete(m_id); }))
        return;
    m_changed = false;
    finishDelete();
}

} // namespace taviro
