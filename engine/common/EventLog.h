#pragma once

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
    // Every line also on stderr, for a program without a screen whose
    // stderr is the system journal; the journal stamps the time itself.
    void setEchoToStderr(bool on) { m_echo = on; }
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
    bool m_reportedFailure = false;
    bool m_echo = false;
};

} // namespace taviro
