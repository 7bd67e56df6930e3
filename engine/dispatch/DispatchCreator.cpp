#include "DispatchCreator.h"

#include "DatabaseConnector.h"
#include "DutyResolver.h"
#include "EventLog.h"
#include "MessageComposer.h"
#include "KeyLists.h"
#include "SqlValues.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <algorithm>
#include <functional>

namespace taviro {

using namespace keylists;

namespace {

struct LineRecord
{
    qint64 lineId = 0;
    bool known = false; // point and transmitter exist
    bool mactief = false, aactief = false, uurs24 = false;
    qint64 melderRule = 0, pointRule = 0, weekmelder = 0, jaarmelder = 0, roosterId = 0;
    bool bemand = false, indexactief = false, tolate = false;

    bool copyBlocked() const
    {
        return !mactief || !aactief || (uurs24 && !indexactief) || pointRule == 1;
    }
    // A skipped line of a working point stays visible to the operator through
    // the bookkeeping dispatch; lines of switched-off equipment do not.
    bool keptForBookkeeping() const { return mactief && aactief && (!uurs24 || tolate); }
};

// A CASE is searched from the top for every row it updates: short ones.
constexpr qsizetype kMaxCase = 32;

} // namespace

DispatchCreator::DispatchCreator(const DatabaseConnector& conn, const ScheduleCache& cache,
                                 const MessageComposer& composer, EventLog& log)
    : m_conn(conn), m_cache(cache), m_composer(composer), m_log(log), m_sql(conn),
      m_insertDispatch(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, "
                                      "pogingen, %1, bevestiger, bevestigtype) "
                                      "VALUES (?, 0, ?, 0, ?, 0, 0)")
                           .arg(conn.id(QStringLiteral("date"))))
{
}

struct DispatchCreator::Plan
{
    qint64 meldingId = 0;
    QList<LineRecord> records; // in the order of the lines
    CreatedDispatches out;
    QList<qint64> skippedIds; // marked not forwarded
    QList<qint64> kept;       // of those, the ones booked on the bookkeeping dispatch
    // One entry per recipient on duty, in order of first appearance, with
    // that recipient's lines.
    QList<std::pair<qint64, QList<qint64>>> recipients;
};

Result<CreationSettings> DispatchCreator::readSettings()
{
    CreationSettings st;
    Status s = m_sql.rows(
        QStringLiteral("SELECT ElkeMeldingEmail, OnbemandeMeldingEmail, mailsubject, einddienst, "
                       "eindtijd FROM settings ORDER BY id LIMIT 1"),
        {}, [&](const QSqlQuery& q) {
            st.everyReport = trimAddress(sql::toText(q.value(0)));
            st.unmanned = trimAddress(sql::toText(q.value(1)));
            st.subject = sql::toText(q.value(2));
            st.einddienst = sql::toBool(q.value(3));
            st.eindtijd = sql::toText(q.value(4));
        });
    if (!s)
        return Result<CreationSettings>::failure(s.error());
    // Escalation is an addition: settings another program cannot give
    // leave it off rather than hold up the reports.
    if (auto esc = escalation::load(m_conn); esc)
        st.escalation = *esc;
    else
        m_log.writeLog(QStringLiteral("Escalatie-instellingen niet leesbaar; er wordt niet geëscaleerd: ") +
                           esc.error(),
                       1);
    return st;
}

Status DispatchCreator::readLines(const QList<qint64>& meldingIds, QList<Plan>& plans)
{
    QHash<qint64, qsizetype> planOf;
    for (qint64 id : meldingIds) {
        planOf.insert(id, plans.size());
        plans.append(Plan{});
        plans.last().meldingId = id;
    }
    const QString uurs24 = m_conn.id(QStringLiteral("24uurs"));
    auto make = [&uurs24](qsizetype n) {
        return QStringLiteral(
                   "SELECT meldindex.melding_id, meldindex.id, alarmen.id, melders.id, "
                   "melders.actief, alarmen.actief, alarmen.%1, "
                   "melders.uitmeld, alarmen.uitmeldtype, melders.weekmelder, melders.jaarmelder, "
                   "alarmen.rooster_id, meldingen.bemand, meldindex.actief, alarmen.tolate, "
                   "meldingen.melding_date, shown.naam, shown.adres, shown.actief "
                   "FROM meldindex INNER JOIN meldingen ON meldindex.melding_id = meldingen.id "
                   "LEFT JOIN alarmen ON meldindex.alarm_id = alarmen.id "
                   "LEFT JOIN melders ON alarmen.melder_id = melders.id "
                   "LEFT JOIN melders AS shown ON meldindex.melder_id = shown.id "
                   "WHERE meldindex.melding_id IN (%2) AND meldindex.%1 = ? "
                   "ORDER BY meldindex.melding_id, meldindex.id")
            .arg(uurs24, placeholders(n));
    };
    for (qsizetype from = 0; from < meldingIds.size(); from += kMaxList) {
        const QList<qint64> chunk = padded(meldingIds.mid(from, kMaxList));
        QVariantList binds;
        binds.reserve(chunk.size() + 1);
        for (qint64 id : chunk)
            binds << sql::keyValue(id);
        binds << sql::boolValue(false);
        Status read = m_sql.rows(
            textFor(m_readTexts, chunk.size(), make), binds, [&](const QSqlQuery& q) {
                Plan& plan = plans[planOf.value(sql::toLong(q.value(0)))];
                LineRecord r;
                r.lineId = sql::toLong(q.value(1));
                r.known = !q.value(2).isNull() && !q.value(3).isNull();
                r.mactief = sql::toBool(q.value(4));
                r.aactief = sql::toBool(q.value(5));
                r.uurs24 = sql::toBool(q.value(6));
                r.melderRule = sql::toLong(q.value(7));
                r.pointRule = sql::toLong(q.value(8));
                r.weekmelder = sql::toLong(q.value(9));
                r.jaarmelder = sql::toLong(q.value(10));
                r.roosterId = sql::toLong(q.value(11));
                r.bemand = sql::toBool(q.value(12));
                r.indexactief = sql::toBool(q.value(13));
                r.tolate = sql::toBool(q.value(14));
                plan.records.append(r);
                // The list shows a report by its first active line of a known
                // point on an active transmitter; check-ins were left out above.
                if (!plan.out.listed && r.indexactief && !q.value(2).isNull() &&
                    !q.value(17).isNull() && sql::toBool(q.value(18)))
                    plan.out.listed = ListEntry{sql::toDate(q.value(15)), r.bemand,
                                                sql::toText(q.value(16)), sql::toText(q.value(17))};
            });
        if (!read)
            return read;
    }
    return {};
}

void DispatchCreator::decide(Plan& plan, const DutyResolver& resolver, const CreationSettings& st)
{
    QList<const LineRecord*> skipped;
    QList<DutyLine> weekClass, yearClass, pointWeekClass, pointYearClass;
    QHash<qint64, const LineRecord*> byId;
    for (const LineRecord& r : plan.records) {
        byId.insert(r.lineId, &r);
        if (!r.known) {
            m_log.writeLog(
                QStringLiteral(
                    "Alarmregel %1 van melding %2 verwijst naar een onbekend alarmpunt of "
                    "onbekende melder; niet uitgemeld.")
                    .arg(r.lineId)
                    .arg(plan.meldingId),
                0);
            skipped.append(&r);
            continue;
        }
        if (r.bemand || !r.mactief || !r.aactief || (r.uurs24 && !r.indexactief) ||
            r.pointRule == 1)
            skipped.append(&r);
        else if (r.pointRule == 0 && r.melderRule == 1)
            weekClass.append({r.lineId, r.weekmelder});
        else if (r.pointRule == 0 && r.melderRule == 2)
            yearClass.append({r.lineId, r.jaarmelder});
        else if (r.pointRule == 2)
            pointWeekClass.append({r.lineId, r.roosterId});
        else if (r.pointRule == 3)
            pointYearClass.append({r.lineId, r.roosterId});
        else
            skipped.append(&r); // follows a transmitter that does not forward

        if (r.copyBlocked())
            continue;
        if (!st.everyReport.isEmpty()) {
            const ComposedEmail m =
                m_composer.composeEmail(r.lineId, MessageComposer::EmailMode::Line, st.subject);
            plan.out.copyMails.append({outbox::everyReportCopyKey(r.lineId), 0, st.everyReport,
                                       QStringLiteral("Elke melding ontvanger (zie opties)"), m.subject, m.body,
                                       {}, {}});
        }
        if (!r.bemand && !st.unmanned.isEmpty()) {
            const ComposedEmail m =
                m_composer.composeEmail(r.lineId, MessageComposer::EmailMode::Line, st.subject);
            plan.out.copyMails.append({outbox::unmannedCopyKey(r.lineId), 0, st.unmanned,
                                       QStringLiteral("Onbemande melding ontvanger (zie opties)"), m.subject, m.body,
                                       {}, {}});
        }
    }

    for (const QList<DutyLine>* cls : {&weekClass, &yearClass, &pointWeekClass, &pointYearClass})
        for (const DutyLine& l : *cls)
            plan.out.forwardLines.append(l.lineId);
    std::sort(plan.out.forwardLines.begin(), plan.out.forwardLines.end());
    DutyOutcome duty;
    resolver.addOnDutyRecipients(weekClass, ScheduleMode::Week, duty);
    resolver.addOnDutyRecipients(yearClass, ScheduleMode::Year, duty);
    resolver.addOnDutyRecipients(pointWeekClass, ScheduleMode::Week, duty);
    resolver.addOnDutyRecipients(pointYearClass, ScheduleMode::Year, duty);
    for (qsizetype i = 0; i < duty.unresolvedLines.size(); ++i) {
        m_log.writeLog(QStringLiteral("%1; alarmregel %2 van melding %3 niet uitgemeld.")
                           .arg(duty.problems[i])
                           .arg(duty.unresolvedLines[i])
                           .arg(plan.meldingId),
                       0);
        skipped.append(byId.value(duty.unresolvedLines[i]));
    }

    // Bookkeeping: every skipped line is marked not forwarded; the kept ones
    // share one done dispatch so the operator still sees them.
    for (const LineRecord* r : skipped) {
        plan.skippedIds.append(r->lineId);
        if (r->known && r->keptForBookkeeping())
            plan.kept.append(r->lineId);
    }

    for (qint64 line : plan.out.forwardLines)
        if (std::none_of(duty.pairs.cbegin(), duty.pairs.cend(), [line](const DutyPair& p) { return p.lineId == line; }))
            plan.out.unreachedLines.append(line);

    // One dispatch per recipient on duty, holding all of that recipient's lines.
    for (const DutyPair& p : duty.pairs) {
        auto it = std::find_if(plan.recipients.begin(), plan.recipients.end(),
                               [&p](const auto& e) { return e.first == p.recipientId; });
        if (it == plan.recipients.end()) {
            plan.recipients.append(std::pair{p.recipientId, QList<qint64>{}});
            it = plan.recipients.end() - 1;
        }
        if (!it->second.contains(p.lineId))
            it->second.append(p.lineId);
    }
}

Status DispatchCreator::markNotForwarded(const QList<qint64>& lines)
{
    auto make = [](qsizetype n) {
        return QStringLiteral("UPDATE meldindex SET uitmelden = ? WHERE id IN (%1)")
            .arg(placeholders(n));
    };
    for (qsizetype from = 0; from < lines.size(); from += kMaxList) {
        const QList<qint64> chunk = padded(lines.mid(from, kMaxList));
        QVariantList binds{sql::boolValue(false)};
        for (qint64 id : chunk)
            binds << sql::keyValue(id);
        if (Status s = m_sql.exec(textFor(m_notForwardedTexts, chunk.size(), make), binds); !s)
            return s;
    }
    return {};
}

Status DispatchCreator::setDispatchOfLines(const QList<std::pair<qint64, qint64>>& lines,
                                           bool forwarded)
{
    // The dispatch differs from report to report, so the keys come in pairs.
    // PostgreSQL types a bare parameter in a CASE as text: hence the cast.
    auto make = [forwarded](qsizetype n) {
        return QStringLiteral("UPDATE meldindex SET uitmeld_id = CASE id %1 END%2 WHERE id IN (%3)")
            .arg(placeholders(n, QStringLiteral("WHEN ? THEN CAST(? AS INTEGER)"))
                     .replace(QLatin1Char(','), QLatin1Char(' ')),
                 forwarded ? QStringLiteral(", uitmelden = ?") : QString(), placeholders(n));
    };
    for (qsizetype from = 0; from < lines.size(); from += kMaxCase) {
        const QList<std::pair<qint64, qint64>> chunk = padded(lines.mid(from, kMaxCase));
        QVariantList binds;
        binds.reserve(chunk.size() * 3 + 1);
        for (const auto& [line, dispatch] : chunk)
            binds << sql::keyValue(line) << sql::keyValue(dispatch);
        if (forwarded)
            binds << sql::boolValue(true);
        for (const auto& pair : chunk)
            binds << sql::keyValue(pair.first);
        const QString& text =
            textFor(forwarded ? m_forwardedTexts : m_bookedTexts, chunk.size(), make);
        if (Status s = m_sql.exec(text, binds); !s)
            return s;
    }
    return {};
}

Status DispatchCreator::link(const QList<std::pair<qint64, qint64>>& pairs)
{
    // Rows cannot be repeated to fill a statement: the rows go in statements
    // of prepared lengths that they fill exactly.
    auto make = [](qsizetype n) {
        return QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES ") +
               placeholders(n, QStringLiteral("(?, ?)"));
    };
    for (qsizetype from = 0; from < pairs.size();) {
        const qsizetype n = filledLength(pairs.size() - from);
        QVariantList binds;
        binds.reserve(2 * n);
        for (qsizetype i = from; i < from + n; ++i)
            binds << sql::keyValue(pairs[i].first) << sql::keyValue(pairs[i].second);
        if (Status s = m_sql.exec(textFor(m_linkTexts, n, make), binds); !s)
            return s;
        from += n;
    }
    return {};
}

Result<QList<CreatedDispatches>> DispatchCreator::createDispatches(
    const QList<qint64>& meldingIds, const QDateTime& now, const CreationSettings& st)
{
    using R = Result<QList<CreatedDispatches>>;
    QList<Plan> plans;
    plans.reserve(meldingIds.size());
    if (Status s = readLines(meldingIds, plans); !s)
        return R::failure(s.error());

    const DutyResolver resolver(m_cache, now, st.einddienst, st.eindtijd);
    if (resolver.eindtijdProblem() != m_loggedEindtijdProblem) {
        m_loggedEindtijdProblem = resolver.eindtijdProblem();
        if (!m_loggedEindtijdProblem.isEmpty())
            m_log.writeLog(m_loggedEindtijdProblem, 0);
    }
    for (Plan& plan : plans)
        decide(plan, resolver, st);

    // The dispatches report by report, in the order of the run, so their keys
    // follow the reports as when each report is taken in alone.
    const QVariant date = sql::dateValue(now, m_conn.dialect());
    QList<qint64> notForwarded;
    QList<std::pair<qint64, qint64>> links;     // (dispatch, line), every pair of the run
    QList<std::pair<qint64, qint64>> booked;    // (line, bookkeeping dispatch)
    QList<std::pair<qint64, qint64>> forwarded; // (line, last recipient's dispatch)
    for (Plan& plan : plans) {
        notForwarded += plan.skippedIds;
        if (!plan.kept.isEmpty()) {
            auto id = m_sql.insert(m_insertDispatch, {sql::keyValue(0), sql::boolValue(true), date});
            if (!id)
                return R::failure(id.error());
            plan.out.bookkeepingId = *id;
            for (qint64 line : plan.kept) {
                links.append({*id, line});
                booked.append({line, *id});
            }
        }
        for (const auto& [recipient, lines] : plan.recipients) {
            auto id = m_sql.insert(m_insertDispatch, {sql::keyValue(recipient), sql::boolValue(false), date});
            if (!id)
                return R::failure(id.error());
            plan.out.dispatchIds.append(*id);
            plan.out.recipientIds.append(recipient);
            for (qint64 line : lines)
                links.append({*id, line});
        }
        // meldindex.uitmeld_id keeps the last recipient's dispatch, as it always did.
        QSet<qint64> done;
        for (qsizetype i = plan.recipients.size() - 1; i >= 0; --i)
            for (qint64 line : plan.recipients[i].second)
                if (!done.contains(line)) {
                    done.insert(line);
                    forwarded.append({line, plan.out.dispatchIds[i]});
                }
    }
    if (Status s = link(links); !s)
        return R::failure(s.error());
    // In this order, as for a single report: a line marked not forwarded and
    // yet on a recipient's dispatch ends up forwarded.
    if (Status s = markNotForwarded(notForwarded); !s)
        return R::failure(s.error());
    if (Status s = setDispatchOfLines(booked, false); !s)
        return R::failure(s.error());
    if (Status s = setDispatchOfLines(forwarded, true); !s)
        return R::failure(s.error());
    // The copies exist exactly when their reports are taken in: a rolled-back
    // run is taken in again later and queues them then, a committed one never again.
    for (const Plan& plan : plans)
        for (const outbox::OutgoingMail& mail : plan.out.copyMails)
            if (auto queued = outbox::queueMail(m_conn, mail); !queued)
                return R::failure(queued.error());

    QList<CreatedDispatches> out;
    out.reserve(plans.size());
    for (Plan& plan : plans)
        out.append(std::move(plan.out));
    return out;
}

} // namespace taviro
