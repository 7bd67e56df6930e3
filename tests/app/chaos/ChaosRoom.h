#pragma once

#include "FakeModem.h"

#include <QDateTime>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace taviro::test {

// One workstation of the control room under test: a program folder of its
// own (copies of the programs, so that a start ending "leftover" services of
// its installation never touches another workstation's), its log folder,
// and the running program.
class Workstation
{
public:
    // program: "taviro-station" or "taviro"; environment: NAME=value entries.
    Workstation(const QString& root, const QString& program, const QStringList& arguments,
                const QStringList& environment);
    ~Workstation();

    bool prepare(QString* error);
    bool start();
    // Waits until the program said it is up (or died trying).
    bool waitUntilUp(int timeoutMs);
    void killHard(); // SIGKILL, as a crash or a power cut
    void stop();     // SIGTERM, then SIGKILL after a grace time
    // Ends whatever still runs from this workstation's folder: the services
    // of a run that was killed and never started again.
    void killLeftovers();
    bool running() const { return m_process.state() == QProcess::Running; }
    QString output() const; // everything the program wrote on stderr, all runs
    QString logs() const;   // the day files of its event log
    QString root() const { return m_root; }

private:
    QString m_root, m_program;
    QStringList m_arguments, m_environment;
    QProcess m_process;
    int m_runs = 0;
};

// Every SMS that reached one of the room's fake GSM modems, with the moment
// the test saw it.
struct SentSms
{
    int modem = 0;
    QString number; // as dialled, "+316…"
    QString text;
    qint64 seenAtSecs = 0; // since the epoch
};

class SmsLedger
{
public:
    // Takes what the modems submitted since the last look.
    void collect(const QList<FakeModem*>& modems);
    const QList<SentSms>& all() const { return m_sent; }
    // How often `number` got a text holding `marker`, and when first.
    int count(const QString& number, const QString& marker) const;
    // Sends beyond the first between the same two quarter-hour marks: a
    // repetition belongs to the next quarter, so only a kill explains these.
    int sameQuarterExtra(const QString& number, const QString& marker) const;
    qint64 firstAt(const QString& number, const QString& marker) const;

private:
    QList<SentSms> m_sent;
    QList<qsizetype> m_seen; // per modem, entries already taken
};

} // namespace taviro::test
