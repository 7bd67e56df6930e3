#pragma once

#include "MailOutbox.h"
#include "EscalationSettings.h"
#include "Result.h"
#include "StatementCache.h"

#include <QDateTime>
#include <QHash>
#include <QList>

#include <optional>

namespace taviro {

class DatabaseConnector;
class DutyResolver;
class EventLog;
class MessageComposer;
class ScheduleCache;

// The settings dispatch creation reads; read once for a batch of reports.
struct CreationSettings
{
    QString everyReport; // ElkeMeldingEmail, trimmed
    QString unmanned;    // OnbemandeMeldingEmail, trimmed
    QString subject;     // mailsubject
    bool einddienst = false;
    QString eindtijd;
    EscalationSettings escalation;
};

// How the current-alarm list shows a report, when it shows it at all.
struct ListEntry
{
    QDateTime meldingDate;
    bool bemand = false;
    QString naam;  // melders.naam
    QString adres; // melders.adres
};

struct CreatedDispatches
{
    std::optional<ListEntry> listed; // empty: only inactive lines or transmitters
    QList<qint64> dispatchIds;    // one per recipient on duty, in order of first appearance
    qint64 bookkeepingId = 0;     // 0 when no line was booked as not forwarded
    QList<outbox::OutgoingMail> copyMails; // for the copy addresses, queued in the run's transaction
    QList<qint64> recipientIds;   // of dispatchIds, in the same order
    // Lines classed for forwarding, and those of them that found nobody on
    // duty (their schedule missing, or its cell empty): what escalation needs.
    QList<qint64> forwardLines, unreachedLines;
};

// Decides per alarm line of a new report whether and to whom it is forwarded,
// and writes the dispatches. Runs inside the caller's transaction: taking
// reports in and creating their dispatches commit together or not at all.
//
// Every (dispatch, line) pair goes into uitmeldlink, because with two or three
// people on duty a line has as many dispatches, while meldindex.uitmeld_id can
// name only one of them (it keeps the last, as older tools expect).
class DispatchCreator
{
public:
    DispatchCreator(const DatabaseConnector& conn, const ScheduleCache& cache,
                    const MessageComposer& composer, EventLog& log);

    Result<CreationSettings> readSettings();
    // For a run of reports the caller has just claimed, in the order given:
    // one entry per report, each decided exactly as if it came alone, with
    // its dispatches created in that order too. The lines of the whole run
    // are read, linked and marked with a few statements instead of a few per
    // report: a backlog after an outage is taken in at the pace of the disk.
    Result<QList<CreatedDispatches>> createDispatches(const QList<qint64>& meldingIds,
                                                      const QDateTime& now,
                                                      const CreationSettings& st);

private:
    struct Plan;
    Status readLines(const QList<qint64>& meldingIds, QList<Plan>& plans);
    void decide(Plan& plan, const DutyResolver& resolver, const CreationSettings& st);
    Status markNotForwarded(const QList<qint64>& lines);
    // (line, dispatch): meldindex.uitmeld_id of each line, and uitmelden set
    // to true when `forwarded`.
    Status setDispatchOfLines(const QList<std::pair<qint64, qint64>>& lines, bool forwarded);
    Status link(const QList<std::pair<qint64, qint64>>& pairs); // (dispatch, line)

    const DatabaseConnector& m_conn;
    const ScheduleCache& m_cache;
    const MessageComposer& m_composer;
    EventLog& m_log;
    StatementCache m_sql;
    const QString m_insertDispatch;
    // Texts of the statements that take a list of keys, by list length.
    QHash<qsizetype, QString> m_readTexts, m_notForwardedTexts, m_linkTexts;
    QHash<qsizetype, QString> m_bookedTexts, m_forwardedTexts;
    // The unreadable end of duty last logged, so a bad setting is logged
    // when it appears, not for every report.
    QString m_loggedEindtijdProblem;
};

} // namespace taviro
