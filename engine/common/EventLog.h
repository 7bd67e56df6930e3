#pragma once

#include <QDate>
#include <QObject>
#include <QString>

namespace taviro {

class Clock;

// The console's event log: one text file per day in the log folder, plus the
// lines of level 0 that the operator sees on screen. Writing never throws and
// never waits on anything but the local disk, because it sits on the alarm path.
class EventLog : public QObject
{
    Q_OBJECT
public:
    // loggerPath ends with a separator; the folder is made when missing.
    EventLog(const Clock& clock, QString loggerPath, QObject* parent = nullptr);

    void writeLog(const QString& text, int level = 0);

    const QString& loggerPath() const { return m_loggerPath; }
    // Every line also on stderr, for a program without a screen. When stderr
    // is the system journal (which stamps the time itself and is read by
    // people outside the control room) only what TAVIRO_JOURNAL_LEVEL allows
    // goes there, with the journal's priority in front.
    void setEchoToStderr(bool on);
    // Day files older than this many days are removed (checked at the first
    // line of each day); the control room's history is not kept for ever.
    void setKeepDays(int days) { m_keepDays = days; }
    int keepDays() const { return m_keepDays; }
    static constexpr int kDefaultKeepDays = 400;
    // TAVIRO_LOG_KEEP_DAYS when it is a positive number, else the default.
    static int keepDaysFromEnvironment();
    // "dd-mm-yyyy.txt" for the day of the given moment, inside the log folder.
    QString fileFor(const QDateTime& moment) const;
    // The time stamp both the file and the screen put before a line.
    static QString timeStamp(const QDateTime& moment);

Q_SIGNALS:
    // A level-0 line as the screen shows it: time stamp, " : ", text.
    void screenLine(const QString& line);

private:
    const Clock& m_clock;
    QString m_loggerPath;
    void echo(const QString& text, int level) const;
    void removeOldDays(const QDate& today) const;

    bool m_reportedFailure = false;
    bool m_echo = false;
    bool m_echoIsJournal = false;
    int m_journalLevel = 0;
    int m_keepDays = kDefaultKeepDays;
    QDate m_checkedOldDaysOn;
};

} // namespace taviro
