#pragma once

#include "ConsoleFixture.h"

#include <QDirIterator>
#include <QProcess>
#include <QTest>

#include <memory>
#include <vector>

namespace taviro::test {

// Station processes (station_child) working on the fixture's database side by
// side, each under a name and with a log folder of its own.
class StationChildren
{
public:
    // leaseSeconds: the claim lease, empty for the stations' default.
    StationChildren(const ConsoleFixture& f, int count, const QString& leaseSeconds = {})
        : m_fixture(f), m_stopFile(f.db.folder() + QStringLiteral("/stop"))
    {
        const QString child =
            QCoreApplication::applicationDirPath() + QStringLiteral("/station_child");
        for (int i = 0; i < count; ++i) {
            auto p = std::make_unique<QProcess>();
            // A station takes its own leftover claims at start-up, so two
            // must not share a name.
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TAVIRO_STATION"), QStringLiteral("station%1").arg(i));
            p->setProcessEnvironment(env);
            QStringList args{f.db.path(), f.db.folder() + QStringLiteral("/station%1/").arg(i),
                             m_stopFile};
            if (!leaseSeconds.isEmpty())
                args << leaseSeconds;
            p->start(child, args);
            m_started = p->waitForStarted() && m_started;
            m_processes.push_back(std::move(p));
        }
    }
    bool started() const { return m_started; }
    bool allRunning() const
    {
        for (const auto& p : m_processes)
            if (p->state() != QProcess::Running)
                return false;
        return true;
    }

    struct Totals
    {
        qint64 taken = 0, sms = 0, mail = 0;
        QString error; // empty when every station stopped cleanly and reported
    };
    // Asks every station to stop and adds up what each took in and sent; the
    // e-mails are those the room queued in the outbox.
    Totals stop()
    {
        QFile(m_stopFile).open(QIODevice::WriteOnly);
        Totals t;
        for (const auto& p : m_processes) {
            if (!p->waitForFinished(30000) || p->exitCode() != 0) {
                t.error = QStringLiteral("station stopte niet netjes: ") +
                          QString::fromUtf8(p->readAllStandardError());
                continue;
            }
            const QList<QByteArray> n = p->readAllStandardOutput().trimmed().split(' ');
            if (n.size() != 2) {
                t.error = QStringLiteral("station meldde niets");
                continue;
            }
            qInfo("station: %s reports, %s SMS", n[0].constData(), n[1].constData());
            t.taken += n[0].toLongLong();
            t.sms += n[1].toLongLong();
        }
        t.mail = m_fixture.mails().size();
        return t;
    }

private:
    const ConsoleFixture& m_fixture;
    QString m_stopFile;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    bool m_started = true;
};

// Work not yet done: unseen reports, pending dispatches and live claims.
inline qint64 openWork(ConsoleFixture& f)
{
    (void)f.conn->restore();
    return f.number(QStringLiteral("SELECT COUNT(*) FROM meldingen WHERE seen = ?"),
                    {sql::boolValue(false)}) +
           f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE done = ?"),
                    {sql::boolValue(false)}) +
           f.number(QStringLiteral("SELECT COUNT(*) FROM uitmeldclaim"));
}

// A transmitter repeats a report until a receiver has stored it; its key, or
// 0 when the database stayed away for half a minute.
inline qint64 storeUntilTaken(ConsoleFixture& f)
{
    for (int attempt = 0; attempt < 600; ++attempt) {
        if (const qint64 id = f.report({QStringLiteral("01")}); id > 0)
            return id;
        QTest::qWait(50);
    }
    return 0;
}

// Every log line the stations wrote.
inline QString allLogs(const QString& folder)
{
    QString text;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(f.readAll());
    }
    return text;
}

} // namespace taviro::test
