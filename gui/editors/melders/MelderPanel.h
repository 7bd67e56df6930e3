#pragma once

#include "EditorPanel.h"
#include "Rows.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace taviro {

// An alarm transmitter and its alarm points. Transmitters come in with their
// first report; here the installer names them, switches them and their points
// on or off, and chooses how their alarms are forwarded: not at all, by a
// week schedule or by the year schedule, with an override per point.
//
// Alarm-point edits are written as soon as another point is chosen, the
// transmitter is saved or the panel is left: they never wait for a question.
class MelderPanel : public EditorPanel
{
    Q_OBJECT
public:
    MelderPanel(EditorContext& ctx, QWidget* parent = nullptr);

    void showItem(qint64 id) override;
    bool writeDB() override;
    bool isChanged() const override;
    void deleteMelder();
    void deleteAlarm();
    // Choosing a point in the list: the shown point is written first.
    void chooseAlarm(qint64 alarmId);

    const Melder& record() const { return m_row; }
    qint64 selectedAlarmId() const { return m_selectedAlarm; }

protected:
    bool readForm() override;
    void beforeLeave() override;
    // The list and the point shown stay as they are.
    void showStored() override { fillForm(); }

private:
    QWidget* buildMelder();
    QWidget* buildAlarms();
    void fillCombos(qint64 weekId);
    void fillForm();
    void loadAlarms();
    void loadAlarm(qint64 alarmId);
    void selectAlarm(qint64 alarmId);
    bool saveAlarm(qint64 alarmId);
    void applyAlarmEnableRule();
    QTreeWidgetItem* alarmItem(qint64 alarmId) const;
    int comboPosition(const QComboBox* combo, qint64 weekId) const;
    qint64 firstJaarplanningId() const;
    QList<QLineEdit*> textBoxes() const;
    QList<QString Melder::*> textMembers() const;

    Melder m_row;
    int m_weekmelder = 0; // list position of the transmitter's week schedule
    qint64 m_selectedAlarm = 0;
    QLineEdit *m_alias, *m_naam, *m_adres, *m_plaats, *m_land, *m_telnr;
    QCheckBox* m_actief;
    QButtonGroup* m_uitmeld;
    QComboBox* m_weekMelder;
    QTreeWidget* m_alarms;
    QGroupBox* m_alarmFrame;
    QCheckBox *m_alarmActief, *m_24uurs;
    QLineEdit* m_omschrijving;
    QButtonGroup* m_alarmUitmeld;
    QComboBox* m_weekAlarm;
    QPushButton* m_deleteAlarm;
};

} // namespace taviro
