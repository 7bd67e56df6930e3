#include "PrinterChoice.h"

#include "EventLog.h"
#include "ReportPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QSettings>
#include <QStandardPaths>

namespace taviro {

namespace {
const QString kKey = QStringLiteral("printer/naam");
}

PrinterChoice::PrinterChoice(QString settingsFile, EventLog& log)
    : m_file(std::move(settingsFile)), m_log(log)
{
}

QString PrinterChoice::defaultSettingsFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("taviro/printer.conf"));
}

QString PrinterChoice::chosenName() const
{
    if (m_file.isEmpty())
        return {};
    return QSettings(m_file, QSettings::IniFormat).value(kKey).toString();
}

QString PrinterChoice::shownName() const
{
    const QString chosen = chosenName();
    return chosen.isEmpty() ? QPrinterInfo::defaultPrinterName() : chosen;
}

void PrinterChoice::choose(const QString& printerName)
{
    if (m_file.isEmpty())
        return;
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSettings settings(m_file, QSettings::IniFormat);
    // The system default stays "nothing chosen", so a later change of the
    // default printer is followed.
    if (printerName.isEmpty() || printerName == QPrinterInfo::defaultPrinterName())
        settings.remove(kKey);
    else
        settings.setValue(kKey, printerName);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        m_log.writeLog(
            QStringLiteral("De printerkeuze kon niet worden opgeslagen in %1.").arg(m_file), 0);
}

std::unique_ptr<QPrinter> PrinterChoice::open(QString* reason) const
{
    const QString chosen = chosenName();
    if (chosen.isEmpty())
        return systemDefaultPrinter(reason);
    const QPrinterInfo info = QPrinterInfo::printerInfo(chosen);
    if (info.isNull()) {
        m_log.writeLog(
            QStringLiteral(
                "Printer %1 is niet meer aanwezig; er wordt afgedrukt op de standaardprinter.")
                .arg(chosen),
            0);
        return systemDefaultPrinter(reason);
    }
    return installedPrinter(info, reason);
}

} // namespace taviro
