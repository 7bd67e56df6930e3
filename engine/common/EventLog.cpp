#include "EventLog.h"

#include "Clock.h"

#include <QDir>
#include <QFile>

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

void EventLog::writeLog(const QString& text, int level)
{
    const QDateTime moment = m_clock.now();
    const QString stamp = timeStamp(moment);
    if (level == 0)
        Q_EMIT screenLine(stamp + QStringLiteral(" : ") + text);
    if (m_echo) {
        // The journal's priority prefix: level 0 is what an operator must see.
        std::fprintf(stderr, "%s%s\n", level == 0 ? "<4>" : "<6>", text.toUtf8().constData());
        std::fflush(stderr);
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
