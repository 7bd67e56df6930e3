#pragma once

#include "Result.h"

#include <QString>

#include <functional>

namespace taviro {

class Clock;
class DatabaseConnector;
class EventLog;
class OperatorPrompt;
class ScheduleCache;

// What every configuration editor needs from the console around it. The main
// window fills it once; the callbacks stay empty in tests that do not need them.
struct EditorContext
{
    const DatabaseConnector& conn;
    OperatorPrompt& prompt;
    EventLog& log;
    const Clock& clock;
    // The schedules duty resolution reads; reloaded after every schedule save
    // so the next alarm already goes to the people just planned.
    ScheduleCache& cache;
    // Restart the receiver and sender services with the stored port settings,
    // then re-read the SMS settings.
    std::function<void()> restartServices;
    // Restart the alarm e-mail receiver with the stored mailbox settings.
    std::function<void()> restartMailReceiver;
    // The recipient editor's chain tests: a short message to the number or
    // addresses given, sent now through the real services. A failure holds
    // the modem's or the mail server's own reason.
    std::function<Status(const QString& mobielnr, const QString& naam)> sendTestSms;
    std::function<Status(const QString& addresses, const QString& naam)> sendTestMail;
    // Store a test report, take it in at once and forward it by the normal
    // road; the result tells the installer what became of it.
    std::function<Result<QString>()> makeTestReport;
    // The printer this workstation prints on: its name as the settings show
    // it, and storing the operator's choice. Empty: the system's default.
    std::function<QString()> shownPrinter;
    std::function<void(const QString&)> choosePrinter;
};

} // namespace taviro
