#pragma once

#include "EscalationSettings.h"
#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace taviro {

class DatabaseConnector;
class ScheduleCache;
struct CreationSettings;

// The levels of one report's escalation; each happens at most once per
// report for the whole room (the unique key of `escalatie`).
enum class EscalationLevel
{
    Schedule = 1, // dispatches to whoever is on duty in the escalation schedule
    Copy = 2,     // an e-mail to the copy addresses when that is not acknowledged either
    Notice = 3,   // "Melding ... bevestigd door ...", once, to the others told about the report
};

// What a level decided, for the event log once the transaction is committed.
struct EscalationDecision
{
    qint64 meldingId = 0;
    EscalationLevel level = EscalationLevel::Schedule;
    QString firstLine;          // "ESCALATIE: niet bevestigd door ..."
    QStringList recipientNames; // of the escalation dispatches, in order
    QList<qint64> dispatchIds;
    qint64 lineId = 0; // the report's first line, for a mail when no dispatch names its lines
    QString problem; // why nobody could be added, or empty
    // The event log's one line about this decision.
    QString logLine() const;
};

// Writes one escalation level of one report inside the caller's
// transaction. The key row goes in first with ON CONFLICT DO NOTHING: a
// workstation that finds it taken decides nothing, so a level never
// happens twice however many workstations look at once.
class EscalationWriter
{
public:
    EscalationWriter(const DatabaseConnector& conn, const ScheduleCache& cache);

    // Whoever is on duty now in the escalation schedule (the year schedule
    // when set, else the week schedule), by the same duty resolution as for
    // the report itself. `problem` says why nobody could be found.
    QList<qint64> onDuty(const EscalationSettings& esc, const CreationSettings& st, const QDateTime& now,
                         QString& problem) const;

    // Level 1 of a report: dispatches with `lines` to the escalation
    // schedule's on-duty recipients, except those in `alreadyTold`. Nothing
    // (an empty result) when another workstation decided it already.
    Result<std::optional<EscalationDecision>> escalate(qint64 meldingId, const QList<qint64>& lines,
                                                       const QList<qint64>& alreadyTold, const QString& firstLine,
                                                       const EscalationSettings& esc, const CreationSettings& st,
                                                       const QDateTime& now);
    // The notice of an acknowledgement: one dispatch with `text` to each of
    // `recipients`, made as if already answered so it is never repeated.
    Result<std::optional<EscalationDecision>> notify(qint64 meldingId, const QList<qint64>& lines,
                                                     const QList<qint64>& recipients, qint64 acknowledger,
                                                     const QString& text, const QDateTime& now);
    // Takes the key of a level that creates no dispatches (the copy e-mail).
    // False when it was taken already.
    Result<bool> takeKey(qint64 meldingId, EscalationLevel level, const QString& firstLine,
                         const QString& recipients, const QDateTime& now);

    // "ESCALATIE: niet bevestigd door A, B"; with nobody named, the report
    // found nobody on duty.
    static QString firstLineFor(const QStringList& notAcknowledgedBy);

private:
    // One dispatch of a level to `recipient` with `lines`, noted in escalatieuitmeld.
    Result<qint64> addDispatch(qint64 meldingId, EscalationLevel level, qint64 recipient, qint64 bevestiger,
                               const QList<qint64>& lines, const QDateTime& now);

    const DatabaseConnector& m_conn;
    const ScheduleCache& m_cache;
};

} // namespace taviro
