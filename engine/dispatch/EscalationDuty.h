#pragma once

#include "EscalationWriter.h"
#include "Result.h"

#include <QDateTime>
#include <QList>
#include <QSqlQuery>

#include <optional>

namespace taviro {

class DatabaseConnector;
class DispatchCreator;
class EventLog;
class MessageComposer;
class ScheduleCache;
struct CreatedDispatches;

// A room-wide duty run from every workstation's minute tick: an unmanned
// report that nobody acknowledged (by reply, at a console or by bulk close)
// within the set minutes goes to whoever is on duty in the escalation
// schedule, and, when that is not acknowledged in time either, by e-mail to
// the copy addresses. Each level is decided once per report for the whole
// room by the key row it writes, in one transaction that first locks the
// report's dispatches and reads their acknowledgement again, so an
// acknowledgement and an escalation never both win.
class EscalationDuty
{
public:
    EscalationDuty(const DatabaseConnector& conn, const ScheduleCache& cache, DispatchCreator& creator,
                   const MessageComposer& composer, EventLog& log);

    // Everything that has come due by `now`. Returns the levels this call
    // decided.
    int run(const QDateTime& now);

    // Within the intake's transaction, right after the report's dispatches
    // were created: a line that found nobody on duty escalates at once.
    Status escalateAtIntake(qint64 meldingId, const CreatedDispatches& created, const QDateTime& now,
                            const CreationSettings& st);
    // After the intake committed: one event-log line per escalation it decided.
    void reportIntakeDecisions();
    // After a rollback: what the intake decided did not happen.
    void forgetIntakeDecisions() { m_pending.clear(); }

private:
    // The window in which a report is still chased: escalation switched on
    // today does not wake up last month's reports.
    static constexpr qint64 kChaseDays = 1;
    // Acknowledgements older than this get no notice: switching the notice
    // on does not tell last night's.
    static constexpr qint64 kNoticeWindowSecs = 3600;

    // The reports a candidate query found (first column), or none, logged.
    QList<qint64> reportsOf(Result<QSqlQuery>& q, const QString& what);
    QList<qint64> dueForSchedule(const QDateTime& now, qint64 minutes);
    QList<qint64> dueForCopy(const QDateTime& now, qint64 minutes);
    QList<qint64> dueForNotice(const QDateTime& now);
    // The notice of one acknowledged report in its own transaction.
    std::optional<EscalationDecision> notify(qint64 meldingId, const QDateTime& now, bool& failed);
    // One report's level in its own transaction, or nothing when it was
    // acknowledged or decided meanwhile.
    std::optional<EscalationDecision> escalateLevel(qint64 meldingId, EscalationLevel level,
                                                    const EscalationSettings& esc, const CreationSettings& st,
                                                    const QDateTime& now, bool& failed);
    // Locks the report's dispatches, then reads whether any is acknowledged.
    Result<bool> lockAndCheckAcknowledged(qint64 meldingId);
    // The report's own (not escalation) dispatches' lines and recipients.
    Status forwarded(qint64 meldingId, QList<qint64>& lines, QList<qint64>& recipients, QStringList& names);
    // Within the level's transaction: the copies are owed exactly when the level is decided.
    Status queueCopyMails(const EscalationDecision& d, const CreationSettings& st);

    const DatabaseConnector& m_conn;
    DispatchCreator& m_creator;
    const MessageComposer& m_composer;
    EventLog& m_log;
    EscalationWriter m_writer;
    QList<EscalationDecision> m_pending; // decided in the intake's open transaction
    QString m_loggedSettingProblem;
};

} // namespace taviro
