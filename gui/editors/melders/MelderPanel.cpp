#include "MelderPanel.h"

#include "FormHelpers.h"
#include "Repositories.h"
#include "SqlValues.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace taviro {

namespace {

QButtonGroup* optionGroup(QWidget* parent, QLayout* layout, const QString& name,
                          const QStringList& captions)
{
    auto* group = new QButtonGroup(parent);
    for (int i = 0; i < captions.size(); ++i) {
        auto* radio = new QRadioButton(captions[i], parent);
        radio->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        group->addButton(radio, i);
        layout->addWidget(radio);
    }
    return group;
}

void setBold(QTreeWidgetItem* item, bool bold)
{
    QFont font = item->font(0);
    font.setBold(bold);
    item->setFont(0, font);
}

} // namespace

MelderPanel::MelderPanel(EditorContext& ctx, QWidget* parent)
    : EditorPanel(ctx, QStringLiteral("melders"), parent)
{
    setObjectName(QStringLiteral("Melders1"));
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(buildMelder(), 1);
    layout->addWidget(buildAlarms(), 1);
    showItem(0);
}

QWidget* MelderPanel::buildMelder()
{
    auto* frame = new QGroupBox(QStringLiteral("Melder"), this);
    auto* v = new QVBoxLayout(frame);
    auto* form = new QFormLayout;
    v->addLayout(form);
    m_alias = form::addTextRow(form, QStringLiteral("txtalias"), QStringLiteral("OS-nummer"));
    m_naam = form::addTextRow(form, QStringLiteral("txtnaam"), QStringLiteral("Naam"));
    m_adres = form::addTextRow(form, QStringLiteral("txtadres"), QStringLiteral("Adres"));
    m_plaats = form::addTextRow(form, QStringLiteral("txtplaats"), QStringLiteral("Plaats"));
    m_land = form::addTextRow(form, QStringLiteral("txtland"), QStringLiteral("Land"));
    m_telnr = form::addTextRow(form, QStringLiteral("txttelnr"), QStringLiteral("Telefoonnr."));
    m_actief = form::checkBox(frame, QStringLiteral("chkmelderactief"), QStringLiteral("Actief"));
    form->addRow(QString(), m_actief);

    auto* uitmeld = new QGroupBox(QStringLiteral("Uitmelden"), frame);
    auto* u = new QVBoxLayout(uitmeld);
    m_uitmeld =
        optionGroup(uitmeld, u, QStringLiteral("Option1"),
                    {QStringLiteral("Niet uitmelden"), QStringLiteral("Uitmelden naar weekrooster"),
                     QStringLiteral("Uitmelden naar jaarrooster")});
    m_weekMelder = new QComboBox(uitmeld);
    m_weekMelder->setObjectName(QStringLiteral("cboweekmelder"));
    u->addWidget(m_weekMelder);
    v->addWidget(uitmeld);
    v->addStretch();

    auto* opslaan =
        form::button(frame, QStringLiteral("cmdMelderOpslaan"), QStringLiteral("Opslaan"));
    auto* verwijder =
        form::button(frame, QStringLiteral("cmdVerwijderMelder"), QStringLiteral("Verwijder"));
    connect(opslaan, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(verwijder, &QPushButton::clicked, this, [this] { deleteMelder(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(opslaan);
    buttons->addWidget(verwijder);
    v->addLayout(buttons);
    return frame;
}

QWidget* MelderPanel::buildAlarms()
{
    auto* frame = new QGroupBox(QStringLiteral("Alarmen"), this);
    auto* v = new QVBoxLayout(frame);
    m_alarms = new QTreeWidget(frame);
    m_alarms->setObjectName(QStringLiteral("alarmView"));
    m_alarms->setHeaderLabels({QStringLiteral("Functie")});
    m_alarms->setRootIsDecorated(false);
    // The frame and "Verwijder" act on the point the list's cursor is on,
    // whether the installer clicked it or moved there with the arrow keys.
    connect(m_alarms, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        const qint64 id = item->data(0, Qt::UserRole).toLongLong();
        if (id != m_selectedAlarm)
            chooseAlarm(id);
    });
    v->addWidget(m_alarms, 1);

    m_alarmFrame = new QGroupBox(QStringLiteral("Alarm"), frame);
    m_alarmFrame->setObjectName(QStringLiteral("alarmFrame"));
    auto* a = new QVBoxLayout(m_alarmFrame);
    m_alarmActief =
        form::checkBox(m_alarmFrame, QStringLiteral("chkalarmactief"), QStringLiteral("Actief"));
    a->addWidget(m_alarmActief);
    auto* form = new QFormLayout;
    m_omschrijving = form::textBox(m_alarmFrame, QStringLiteral("txtomschrijving"));
    form->addRow(QStringLiteral("Omschrijving"), m_omschrijving);
    a->addLayout(form);
    m_24uurs = form::checkBox(m_alarmFrame, QStringLiteral("chk24uurs"),
                              QStringLiteral("24 uurs melding"));
    a->addWidget(m_24uurs);
    m_alarmUitmeld = optionGroup(m_alarmFrame, a, QStringLiteral("Option2"),
                                 {QStringLiteral("Zoals melder"), QStringLiteral("Niet uitmelden"),
                                  QStringLiteral("Uitmelden naar weekrooster"),
                                  QStringLiteral("Uitmelden naar jaarrooster")});
    m_weekAlarm = new QComboBox(m_alarmFrame);
    m_weekAlarm->setObjectName(QStringLiteral("cboweekalarm"));
    a->addWidget(m_weekAlarm);
    v->addWidget(m_alarmFrame);

    m_deleteAlarm =
        form::button(frame, QStringLiteral("deleteAlarmButton"), QStringLiteral("Verwijder"));
    connect(m_deleteAlarm, &QPushButton::clicked, this, [this] { deleteAlarm(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_deleteAlarm);
    v->addLayout(buttons);
    return frame;
}

QList<QLineEdit*> MelderPanel::textBoxes() const
{
    return {m_alias, m_naam, m_adres, m_plaats, m_land, m_telnr};
}

QList<QString Melder::*> MelderPanel::textMembers() const
{
    return {&Melder::alias,  &Melder::naam, &Melder::adres,
            &Melder::plaats, &Melder::land, &Melder::telnr};
}

void MelderPanel::fillCombos(qint64 weekId)
{
    // In the order the table holds them, behind a blank entry for "none".
    auto rows = WeekPlanningRepository(m_ctx.conn)
                    .list(QStringLiteral("WHERE deleted = ? ORDER BY id"), {sql::boolValue(false)});
    if (!rows)
        logFailure(QStringLiteral("weekplanningen lezen"), rows.error());
    for (QComboBox* combo : {m_weekMelder, m_weekAlarm}) {
        combo->clear();
        combo->addItem(QString(), qint64(0));
        if (rows) {
            for (const WeekPlanning& w : *rows)
                combo->addItem(w.naam, w.id);
        }
    }
    // A schedule deleted since is not offered; the blank entry stands in.
    m_weekmelder = comboPosition(m_weekMelder, weekId);
}

int MelderPanel::comboPosition(const QComboBox* combo, qint64 weekId) const
{
    if (weekId == 0)
        return 0;
    const int at = combo->findData(weekId);
    return at < 0 ? 0 : at;
}

qint64 MelderPanel::firstJaarplanningId() const
{
    auto rows = JaarPlanningRepository(m_ctx.conn)
                    .list(QStringLiteral("WHERE deleted = ? ORDER BY id"), {sql::boolValue(false)});
    return rows && !rows->isEmpty() ? rows->first().id : 0;
}

void MelderPanel::showItem(qint64 id)
{
    if (id == 0) {
        const int selectedMode = qMax(0, m_uitmeld->checkedId());
        m_row = Melder{};
        m_row.uitmeld = selectedMode;
        fillCombos(0);
        m_selectedAlarm = 0;
        const QSignalBlocker quiet(m_alarms);
        m_alarms->clear();
        applyAlarmEnableRule();
    } else if (auto found = MelderRepository(m_ctx.conn).find(id); found && found->has_value()) {
        m_row = **found;
        fillCombos(m_row.weekmelder);
        loadAlarms();
    } else if (!found) {
        logFailure(QStringLiteral("laden"), found.error());
    }
    m_id = m_row.id;
    fillForm();
}

void MelderPanel::fillForm()
{
    const auto boxes = textBoxes();
    const auto members = textMembers();
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(m_row.*members[i]);
    m_actief->setChecked(m_row.actief);
    if (auto* b = m_uitmeld->button(int(m_row.uitmeld)))
        b->setChecked(true);
    m_weekMelder->setCurrentIndex(m_weekmelder);
}

void MelderPanel::loadAlarms()
{
    m_selectedAlarm = 0;
    {
        const QSignalBlocker quiet(m_alarms);
        m_alarms->clear();
    }
    auto rows = AlarmRepository(m_ctx.conn).forMelder(m_row.id);
    if (!rows)
        logFailure(QStringLiteral("alarmen lezen"), rows.error());
    if (rows) {
        for (const Alarm& a : *rows) {
            auto* item = new QTreeWidgetItem(m_alarms, {a.functie});
            item->setData(0, Qt::UserRole, a.id);
        }
    }
    if (m_alarms->topLevelItemCount() > 0)
        selectAlarm(m_alarms->topLevelItem(0)->data(0, Qt::UserRole).toLongLong());
    applyAlarmEnableRule();
}

void MelderPanel::applyAlarmEnableRule()
{
    const bool any = m_alarms->topLevelItemCount() > 0;
    m_alarmFrame->setEnabled(any);
    m_omschrijving->setEnabled(any);
    m_deleteAlarm->setEnabled(any);
}

QTreeWidgetItem* MelderPanel::alarmItem(qint64 alarmId) const
{
    for (int i = 0; i < m_alarms->topLevelItemCount(); ++i) {
        if (m_alarms->topLevelItem(i)->data(0, Qt::UserRole).toLongLong() == alarmId)
            return m_alarms->topLevelItem(i);
    }
    return nullptr;
}

void MelderPanel::loadAlarm(qint64 alarmId)
{
    auto found = AlarmRepository(m_ctx.conn).find(alarmId);
    if (!found || !found->has_value()) {
        if (!found)
            logFailure(QStringLiteral("alarm lezen"), found.error());
        return;
    }
    const Alarm& a = **found;
    m_omschrijving->setText(a.omschrijving);
    m_24uurs->setChecked(a.uurs24);
    m_alarmActief->setChecked(a.actief);
    if (auto* b = m_alarmUitmeld->button(int(a.uitmeldtype)))
        b->setChecked(true);
    m_weekAlarm->setCurrentIndex(a.uitmeldtype == 2 ? comboPosition(m_weekAlarm, a.rooster_id) : 0);
}

void MelderPanel::selectAlarm(qint64 alarmId)
{
    loadAlarm(alarmId);
    m_selectedAlarm = alarmId;
    // The bold item is the point shown in the frame.
    for (int i = 0; i < m_alarms->topLevelItemCount(); ++i)
        setBold(m_alarms->topLevelItem(i), false);
    if (auto* item = alarmItem(alarmId)) {
        setBold(item, true);
        const QSignalBlocker quiet(m_alarms);
        m_alarms->setCurrentItem(item);
    }
}

void MelderPanel::chooseAlarm(qint64 alarmId)
{
    saveAlarm(m_selectedAlarm);
    if (m_selectedAlarm > 0)
        selectAlarm(alarmId);
}

bool MelderPanel::saveAlarm(qint64 alarmId)
{
    if (alarmId <= 0)
        return true;
    const qint64 uitmeldtype = qMax(0, m_alarmUitmeld->checkedId());
    const DatabaseConnector& conn = m_ctx.conn;
    qint64 roosterId = 0;
    switch (uitmeldtype) {
    case 2:
        roosterId = m_weekAlarm->itemData(qMax(0, m_weekAlarm->currentIndex())).toLongLong();
        break;
    case 3:
        // The year schedule is the site's one (first) year schedule.
        roosterId = firstJaarplanningId();
        break;
    default:
        break;
    }
    // Only the columns this frame shows. The receivers write the last
    // check-in (`date`) and the watchdog `tolate` at any moment; writing back
    // what was read a moment ago would undo a check-in stored in between and
    // could stop the watchdog watching the point. One statement, so it is
    // whole on its own and part of the transmitter's save when that runs.
    const Status s = conn.exec(
        QStringLiteral("UPDATE alarmen SET actief = ?, %1 = ?, uitmeldtype = ?, "
                       "rooster_id = ?, omschrijving = ? WHERE id = ?")
            .arg(conn.id(QStringLiteral("24uurs"))),
        {sql::boolValue(form::isTicked(m_alarmActief)), sql::boolValue(form::isTicked(m_24uurs)),
         sql::keyValue(uitmeldtype), sql::keyValue(roosterId),
         sql::textValue(m_omschrijving->text()), sql::keyValue(alarmId)});
    if (!s) {
        logFailure(QStringLiteral("alarm opslaan"), s.error());
        return false;
    }
    return true;
}

void MelderPanel::beforeLeave()
{
    if (m_selectedAlarm != 0)
        saveAlarm(m_selectedAlarm);
}

bool MelderPanel::isChanged() const
{
    const auto boxes = textBoxes();
    const auto members = textMembers();
    for (int i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->text() != m_row.*members[i])
            return true;
    }
    return form::isTicked(m_actief) != m_row.actief ||
           qMax(0, m_uitmeld->checkedId()) != m_row.uitmeld ||
           m_weekMelder->currentIndex() != m_weekmelder;
}

bool MelderPanel::readForm()
{
    // Only asked when the number changes, so a transmitter already sharing
    // its number is not asked about at every save.
    if (m_alias->text() != m_row.alias && !m_alias->text().isEmpty()) {
        if (auto others = MelderRepository(m_ctx.conn).listActive(); others) {
            for (const Melder& m : *others) {
                if (m.id != m_id && m.alias == m_alias->text()) {
                    if (!confirmDuplicateAlias(m.alias, m.naam))
                        return false;
                    break;
                }
            }
        }
    }
    const auto boxes = textBoxes();
    const auto members = textMembers();
    for (int i = 0; i < boxes.size(); ++i)
        m_row.*members[i] = boxes[i]->text();
    m_row.actief = form::isTicked(m_actief);
    m_row.uitmeld = qMax(0, m_uitmeld->checkedId());
    m_weekmelder = qMax(0, m_weekMelder->currentIndex());
    return true;
}

bool MelderPanel::writeDB()
{
    // The shown alarm point belongs to the same save.
    if (!saveAlarm(m_selectedAlarm))
        return false;
    m_row.jaarmelder = firstJaarplanningId();
    m_row.weekmelder = m_weekMelder->itemData(m_weekmelder).toLongLong();
    return storeRecord(MelderRepository(m_ctx.conn), m_row, [](auto& record, const auto& stored) {
        // The receivers own the news flag; it is not this panel's to change.
        record.isNew = stored.isNew;
    });
}

void MelderPanel::deleteMelder()
{
    if (m_id == 0)
        return;
    MelderRepository repo(m_ctx.conn);
    auto found = repo.find(m_id);
    if (found && found->has_value()) {
        Melder m = **found;
        m.deleted = true;
        m.naam += QStringLiteral("_deleted");
        if (Status s = repo.update(m); !s) {
            logFailure(QStringLiteral("verwijderen"), s.error());
            return;
        }
        m_row = m;
        fillForm();
    } else if (!found) {
        logFailure(QStringLiteral("verwijderen"), found.error());
        return;
    }
    finishDelete();
}

void MelderPanel::deleteAlarm()
{
    QTreeWidgetItem* item = alarmItem(m_selectedAlarm);
    if (!item)
        return;
    const int index = m_alarms->indexOfTopLevelItem(item);
    if (Status s = AlarmRepository(m_ctx.conn).softDelete(m_selectedAlarm); !s) {
        logFailure(QStringLiteral("alarm verwijderen"), s.error());
        return;
    }
    // Gone from the database: nothing may write the frame into it again.
    m_selectedAlarm = 0;
    {
        const QSignalBlocker quiet(m_alarms);
        delete item;
    }
    applyAlarmEnableRule();
    // The point that moved into its place, or else the new last one.
    const int left = m_alarms->topLevelItemCount();
    const int next = index < left ? index : left - 1;
    if (next >= 0)
        selectAlarm(m_alarms->topLevelItem(next)->data(0, Qt::UserRole).toLongLong());
}

} // namespace taviro
