#include "EventLog.h"

#include "Clock.h"
#include "JournalOutput.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace taviro {

EventLog::EventLog(const Clock& clock, QString loggerPath, QObject* parent)
    : QObject(parent), m_clock(clock), m_loggerPath(std::move(loggerPath))
{
}

QString EventLog::timeStamp(const QDateTime& moment)
{
    // The Dutch regional short date followed by the long time.
    return moment.toString(QStringLiteral("dd-MM-yyyy HH:mm:ss"));
}

QString EventLog::fileFor(const QDateTime& moment) const
{
    return m_loggerPath + moment.toString(QStringLiteral("dd-MM-yyyy")) + QStringLiteral(".txt");
}

int EventLog::keepDaysFromEnvironment()
{
    bool ok = false;
    const int days = qEnvironmentVariableIntValue("TAVIRO_LOG_KEEP_DAYS", &ok);
    return ok && days > 0 ? days : kDefaultKeepDays;
}

void EventLog::setEchoToStderr(bool on)
{
    m_echo = on;
    m_echoIsJournal = on && journal::stderrIsJournal();
    m_journalLevel = journal::levelFromEnvironment();
}

void EventLog::echo(const QString& text, int level) const
{
    if (!m_echo)
        return;
    if (!m_echoIsJournal) {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    } else if (level <= m_journalLevel) {
        // The journal's priority prefix: level 0 is what an operator must see.
        const QString shown = m_journalLevel == 0 ? journal::withoutPhoneNumbers(text) : text;
        std::fprintf(stderr, "%s%s\n", level == 0 ? "<4>" : "<6>", shown.toUtf8().constData());
    }
    std::fflush(stderr);
}

void EventLog::removeOldDays(const QDate& today) const
{
    static const QRegularExpression dayFile(QStringLiteral("^(\\d\\d)-(\\d\\d)-(\\d{4})\\.txt$"));
    const QDate oldestKept = today.addDays(-m_keepDays);
    QDir folder(m_loggerPath);
    for (const QString& name : folder.entryList({QStringLiteral("*.txt")}, QDir::Files)) {
        const auto m = dayFile.match(name);
        if (!m.hasMatch())
            continue;
        const QDate day(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
        // Another workstation may remove the same file at the same moment.
        if (day.isValid() && day < oldestKept)
            (void)folder.remove(name);
    }
}

void EventLog::writeLog(const QString& text, int level)
{
    const QDateTime moment = m_clock.now();
    const QString stamp = timeStamp(moment);
    if (level == 0)
        Q_EMIT screenLine(stamp + QStringLiteral(" : ") + text);
    echo(text, level);
    if (moment.date() != m_checkedOldDaysOn) {
        m_checkedOldDaysOn = moment.date();
        removeOldDays(moment.date());
    }

    // Opened and closed on every line: other programs may read the file at any
    // moment, and a crash must not leave lines in a buffer.
    QFile file(fileFor(moment));
    bool written = false;
    if (QDir().mkpath(m_loggerPath) && file.open(QIODevice::Append | QIODevice::WriteOnly)) {
        const QByteArray line = (stamp + QLatin1Char(' ') + text + QStringLiteral("\r\n")).toUtf8();
        written = file.write(line) == line.size();
        file.close();
    }
    if (!written && !m_reportedFailure) {
        // Once per run on stderr; the alarm path goes on regardless.
        m_reportedFailure = true;
        std::fprintf(stderr, "Kan niet schrijven in logbestand %s\n", qPrintable(file.fileName()));
    }
    if (written)
        m_reportedFailure = false;
}

} // namespace taviro
