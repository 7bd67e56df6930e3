#pragma once

#include "ReportPrinter.h"
#include "Result.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace taviro {

class Console;
class DatabaseConnector;
class EventLog;
class OperatorPrompt;

// AlarmDetail1: one report with the transmitter's address, its listed alarm
// lines and, under each line, every recipient it went to and how far that
// got. The operator acknowledges here, and may have the report printed.
class AlarmDetail : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool PrintEnabled READ printEnabled WRITE setPrintEnabled)
    Q_PROPERTY(bool BevestigenEnabled READ bevestigenEnabled WRITE setBevestigenEnabled)
public:
    struct Deps
    {
        const DatabaseConnector& conn;
        Console* console; // nullptr: the panel only shows, it cannot acknowledge
        EventLog& eventLog;
        OperatorPrompt& prompt;
        PrinterSource printers = systemDefaultPrinter;
    };
    explicit AlarmDetail(Deps deps, QWidget* parent = nullptr);

    // Fills the panel for the report; a database failure is handed back.
    Status showItem(qint64 meldingId);
    qint64 meldingId() const { return m_meldingId; }
    bool printFlag() const { return m_printFlag; }

    bool printEnabled() const { return m_printEnabled; }
    void setPrintEnabled(bool on);
    bool bevestigenEnabled() const { return m_bevestigenEnabled; }
    void setBevestigenEnabled(bool on);

    // The acknowledge button: the database side, then the host moves on, then
    // the printout when the print box is ticked.
    void bevestig();
    // Prints the shown report now; false (with a message to the operator) when
    // the printer fails.
    bool printShown();

Q_SIGNALS:
    // The report is acknowledged: the host takes it off its list and opens the
    // next listed report, or shows the list when none is left.
    void acknowledged(qint64 meldingId);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildPanel();
    void presetPrintBox();
    void setColumnWidths();
    bool print(qint64 meldingId);
    void reportPrintFailure(qint64 meldingId, const Status& failure);

    Deps m_deps;
    qint64 m_meldingId = 0;
    bool m_printFlag = false;
    bool m_printEnabled = true;
    bool m_bevestigenEnabled = true;

    QLabel* m_naam = nullptr;
    QLabel* m_alias = nullptr;
    QLabel* m_adres = nullptr;
    QLabel* m_plaats = nullptr;
    QLabel* m_land = nullptr;
    QLabel* m_telnr = nullptr;
    QTreeWidget* m_alarmView = nullptr;
    QPushButton* m_bevestig = nullptr;
    QCheckBox* m_print = nullptr;
};

} // namespace taviro
