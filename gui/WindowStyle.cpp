#include "WindowStyle.h"

namespace taviro {

QString windowStyleSheet()
{
    return QStringLiteral(R"(
QMainWindow, QWidget { font-size: 10pt; }
QFrame#header { background: #1f2a37; }
QFrame#header QLabel { color: #e5e9f0; }
QLabel#appTitle { font-size: 16pt; font-weight: 600; color: #ffffff; }
QLabel#clockLabel { color: #c7d0dc; }
QLabel#gebruikerLabel { color: #c7d0dc; font-weight: 600; }
QLabel#bemandOnbemandLabel { min-width: 120px; padding: 4px 14px; border-radius: 12px;
    font-weight: 700; letter-spacing: 1px; background: #b7791f; color: #ffffff; }
QLabel#bemandOnbemandLabel[bemand="true"] { background: #2f855a; }
QPushButton { background: #f4f6f8; color: #1f2a37; border: 1px solid #9aa5b1; border-radius: 5px;
    padding: 5px 14px; }
QPushButton:hover { background: #e8edf2; }
QPushButton:pressed { background: #d6dee7; }
QPushButton:default { border-color: #1a5fb4; }
QPushButton:disabled { color: #9aa5b1; border-color: #d0d6dd; }
QPushButton:focus { border: 2px solid #1a5fb4; background: #dbe7f5; padding: 4px 13px; }
QFrame#header QPushButton { background: #334155; color: #e5e9f0; border: 1px solid #475569;
    border-radius: 6px; padding: 5px 14px; }
QFrame#header QPushButton:hover { background: #3f4f66; }
QFrame#header QPushButton:focus { border: 2px solid #93c5fd; padding: 4px 13px; }
QTreeWidget#menuTree { border: none; background: #f4f6f8; padding: 6px; }
QTreeWidget#menuTree::item { padding: 3px 2px; }
QTreeWidget#menuTree::item:selected { background: #dbe7f5; color: #1f2a37; }
QCalendarWidget#MonthView { max-height: 210px; }
QLabel#panelTitle { font-size: 15pt; font-weight: 600; color: #1f2a37; }
QLabel#summaryCount { font-size: 22pt; font-weight: 700; color: #2f855a; }
QLabel#summaryCount[alarm="true"] { color: #c53030; }
QLabel#summaryLatest { font-size: 11pt; color: #334155; }
QLabel#hint { color: #64748b; }
QLabel[placeholder="true"] { color: #94a3b8; font-size: 13pt; }
QTabWidget::pane { border-top: 1px solid #d6dbe1; }
QTabBar::tab { padding: 6px 16px; }
QTableView#actueelList { selection-background-color: #dbe7f5; selection-color: #1f2a37;
    alternate-background-color: #f7f9fb; border: none; }
QHeaderView::section { background: #eef1f4; border: none; border-bottom: 1px solid #d6dbe1;
    padding: 5px; font-weight: 600; color: #334155; }
QListWidget#logList { font-family: monospace; border: none; }
QStatusBar { background: #eef1f4; color: #334155; }
)");
}

} // namespace taviro
