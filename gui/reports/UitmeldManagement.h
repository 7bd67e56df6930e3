#pragma once

#include "AlarmDetail.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace taviro {

class Clock;

// frmUitmeldManagement: every report that still has an open dispatch, with
// the report's detail below, and one button that closes all of them, so the
// dispatch engine stops working on a pile-up (a modem fault, a recipient who
// never answers). Opened modally from the menu entry alarmManagementMenuItem.
class UitmeldManagement : public QDialog
{
    Q_OBJECT
public:
    // The detail panel only shows: acknowledging belongs to the main list.
    // gebruikerId: the logged-in operator, recorded on what he closes.
    UitmeldManagement(const DatabaseConnector& conn, EventLog& eventLog, OperatorPrompt& prompt,
                      const Clock& clock, qint64 gebruikerId, QWidget* parent = nullptr);

    void showUitmeldingen();
    // Asks, then closes every open dispatch of the listed reports.
    void deleteUitmeldingen();
    AlarmDetail* detail() const { return m_detail; }

private:
    void itemClicked(QTreeWidgetItem* item);

    const DatabaseConnector& m_conn;
    EventLog& m_log;
    OperatorPrompt& m_prompt;
    const Clock& m_clock;
    const qint64 m_gebruikerId;
    QTreeWidget* m_list = nullptr;
    AlarmDetail* m_detail = nullptr;
    QPushButton* m_delete = nullptr;
};

} // namespace taviro
