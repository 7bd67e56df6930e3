#pragma once

#include <QPrinter>
#include <QString>

#include <memory>

namespace taviro {

class EventLog;

// The printer this workstation prints reports and overviews on. The operator
// picks it in the settings; it is kept in this workstation's own configuration
// file, not in the database, because stations sharing one database each have
// printers of their own. Nothing chosen means the system's default printer.
class PrinterChoice
{
public:
    PrinterChoice(QString settingsFile, EventLog& log);

    // ~/.config/taviro/printer.conf (or where XDG_CONFIG_HOME points).
    static QString defaultSettingsFile();

    QString chosenName() const;
    // What the settings show: the chosen printer, else the system's default.
    QString shownName() const;
    // Stores the choice at once, so a console that dies keeps it.
    void choose(const QString& printerName);

    // The chosen printer; when it is no longer installed, the default printer
    // with a level-0 line, so a printout never silently goes nowhere. Empty
    // with a Dutch reason when no printer can be used.
    std::unique_ptr<QPrinter> open(QString* reason) const;

private:
    QString m_file;
    EventLog& m_log;
};

} // namespace taviro
