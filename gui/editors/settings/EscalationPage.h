#pragma once

#include "EscalationSettings.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace taviro {

class DatabaseConnector;

// The settings page for escalation: after how many minutes an unmanned
// alarm nobody acknowledged goes to the escalation schedule, which schedule
// that is, the second level by e-mail and the acknowledgement notice.
class EscalationPage : public QWidget
{
    Q_OBJECT
public:
    EscalationPage(const DatabaseConnector& conn, QWidget* parent = nullptr);

    // Fills the schedule lists afresh and shows `s`.
    void showSettings(const EscalationSettings& s);
    // The form as settings, or nothing with the reason (Dutch) when the
    // minutes are no whole number from 1 to a day.
    std::optional<EscalationSettings> collect(QString* why) const;
    bool differs(const EscalationSettings& stored) const;

private:
    void fillSchedules();
    void applyEnableRules();

    const DatabaseConnector& m_conn;
    QCheckBox* m_on;
    QLineEdit* m_minutes;
    QComboBox *m_week, *m_year;
    QCheckBox *m_copy, *m_notice;
};

} // namespace taviro
