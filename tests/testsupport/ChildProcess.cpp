#include "ChildProcess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QVariant>

namespace taviro::test {

QString binDir()
{
    return qEnvironmentVariable("TAVIRO_BIN_DIR");
}

void startProgram(QProcess& process, const QString& program, const QStringList& arguments,
                  const QStringList& environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString& kv : environment) {
        const int eq = kv.indexOf(QLatin1Char('='));
        env.insert(kv.left(eq), kv.mid(eq + 1));
    }
    process.setProcessEnvironment(env);
    process.start(binDir() + QLatin1Char('/') + program, arguments);
}

bool waitForStderr(QProcess& process, const QString& text, int timeoutMs)
{
    QByteArray seen;
    QDeadlineTimer deadline(timeoutMs);
    const QByteArray wanted = text.toUtf8();
    while (!deadline.hasExpired()) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardError();
        if (seen.contains(wanted)) {
            process.setProperty("seenStderr", QVariant::fromValue(seen));
            return true;
        }
        if (process.state() == QProcess::NotRunning) {
            seen += process.readAllStandardError();
            process.setProperty("seenStderr", QVariant::fromValue(seen));
            return seen.contains(wanted);
        }
    }
    process.setProperty("seenStderr", QVariant::fromValue(seen));
    return false;
}

} // namespace taviro::test
