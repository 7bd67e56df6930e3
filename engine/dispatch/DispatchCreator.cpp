#include "DispatchCreator.h"

#include "DatabaseConnector.h"
#include "DutyResolver.h"
#include "EventLog.h"
#include "MessageComposer.h"
#include "SqlValues.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

namespace taviro {

namespace {

QVariant key(qint64 id)
{
    return QVariant::fromValue(id);
}

// An address field of only blanks and line breaks counts as empty.
QString trimAddress(const QString& s)
{
    qsizetype b = 0, e = s.size();
    auto blank = [](QChar c) {
        return c == QLatin1Char(' ') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    };
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

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

QString placeholders(qsizetype n)
{
    QStringList marks;
    for (qsizetype i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

} // namespace

DispatchCreator::DispatchCreator(const DatabaseConnector& conn, const ScheduleCache& cache,
                                 const MessageComposer& composer, EventLog& log)
    : m_conn(conn), m_cache(cache), m_composer(composer), m_log(log), m_sql(conn)
{
}

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
    return st;
}

Status DispatchCreator::markLines(const QString& set, const QVariantList& values,
                                  const QList<qint64>& lines)
{
    if (lines.isEmpty())
        return {};
    QVariantList binds = values;
    for (qint64 id : lines)
        binds << key(id);
    return m_sql.exec(QStringLiteral("UPDATE meldindex SET %1 WHERE id IN (%2)")
                          .arg(set, placeholders(lines.size())),
                      binds);
}

Status DispatchCreator::link(const QList<std::pair<qint64, qint64>>& pairs)
{
    if (pairs.isEmpty())
        return {};
    QVariantList binds;
    QStringList rows;
    for (const auto& [dispatch, line] : pairs) {
        binds << key(dispatch) << key(line);
        rows << QStringLiteral("(?, ?)");
    }
    return m_sql.exec(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES ") +
                          rows.join(QLatin1Char(',')),
                      binds);
}

Result<CreatedDispatches> DispatchCreator::createDispatches(qint64 meldingId, const QDateTime& now,
                                                            const CreationSettings& st)
{
    using R = Result<CreatedDispatches>;
    const Dialect d = m_conn.dialect();
    CreatedDispatches out;
    QList<LineRecord> records;
    Status read = m_sql.rows(
        QStringLiteral(
            "SELECT meldindex.id, alarmen.id, melders.id, melders.actief, alarmen.actief, "
            "alarmen.%1, "
            "melders.uitmeld, alarmen.uitmeldtype, melders.weekmelder, melders.jaarmelder, "
            "alarmen.rooster_id, meldingen.bemand, meldindex.actief, alarmen.tolate, "
            "meldingen.melding_date, shown.naam, shown.adres, shown.actief "
            "FROM meldindex INNER JOIN meldingen ON meldindex.melding_id = meldingen.id "
            "LEFT JOIN alarmen ON meldindex.alarm_id = alarmen.id "
            "LEFT JOIN melders ON alarmen.melder_id = melders.id "
            "LEFT JOIN melders AS shown ON meldindex.melder_id = shown.id "
            "WHERE meldindex.melding_id = ? AND meldindex.%1 = ? ORDER BY meldindex.id")
            .arg(m_conn.id(QStringLiteral("24uurs"))),
        {key(meldingId), sql::boolValue(false)}, [&](const QSqlQuery& q) {
            LineRecord r;
            r.lineId = sql::toLong(q.value(0));
            r.known = !q.value(1).isNull() && !q.value(2).isNull();
            r.mactief = sql::toBool(q.value(3));
            r.aactief = sql::toBool(q.value(4));
            r.uurs24 = sql::toBool(q.value(5));
            r.melderRule = sql::toLong(q.value(6));
            r.pointRule = sql::toLong(q.value(7));
            r.weekmelder = sql::toLong(q.value(8));
            r.jaarmelder = sql::toLong(q.value(9));
            r.roosterId = sql::toLong(q.value(10));
            r.bemand = sql::toBool(q.value(11));
            r.indexactief = sql::toBool(q.value(12));
            r.tolate = sql::toBool(q.value(13));
            records.append(r);
            // The list shows a report by its first active line of a known
            // point on an active transmitter; check-ins were left out above.
            if (!out.listed && r.indexactief && !q.value(1).isNull() && !q.value(16).isNull() &&
                sql::toBool(q.value(17)))
                out.listed = ListEntry{sql::toDate(q.value(14)), r.bemand,
                                       sql::toText(q.value(15)), sql::toText(q.value(16))};
        });
    if (!read)
        return R::failure(read.error());

    QList<const LineRecord*> skipped;
    QList<DutyLine> weekClass, yearClass, pointWeekClass, pointYearClass;
    QHash<qint64, const LineRecord*> byId;
    for (const LineRecord& r : records) {
        byId.insert(r.lineId, &r);
        if (!r.known) {
            m_log.writeLog(
                QStringLiteral(
                    "Alarmregel %1 van melding %2 verwijst naar een onbekend alarmpunt of "
                    "onbekende melder; niet uitgemeld.")
                    .arg(r.lineId)
                    .arg(meldingId),
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
            out.copyMails.append({st.everyReport,
                                  QStringLiteral("Elke melding ontvanger (zie opties)"),
                                  m.subject,
                                  m.body,
                                  {}});
        }
        if (!r.bemand && !st.unmanned.isEmpty()) {
            const ComposedEmail m =
                m_composer.composeEmail(r.lineId, MessageComposer::EmailMode::Line, st.subject);
            out.copyMails.append({st.unmanned,
                                  QStringLiteral("Onbemande melding ontvanger (zie opties)"),
                                  m.subject,
                                  m.body,
                                  {}});
        }
    }

    DutyOutcome duty;
    const DutyResolver resolver(m_cache, now, st.einddienst, st.eindtijd);
    resolver.addOnDutyRecipients(weekClass, ScheduleMode::Week, duty);
    resolver.addOnDutyRecipients(yearClass, ScheduleMode::Year, duty);
    resolver.addOnDutyRecipients(pointWeekClass, ScheduleMode::Week, duty);
    resolver.addOnDutyRecipients(pointYearClass, ScheduleMode::Year, duty);
    for (qsizetype i = 0; i < duty.unresolvedLines.size(); ++i) {
        m_log.writeLog(QStringLiteral("%1; alarmregel %2 van melding %3 niet uitgemeld.")
                           .arg(duty.problems[i])
                           .arg(duty.unresolvedLines[i])
                           .arg(meldingId),
                       0);
        skipped.append(byId.value(duty.unresolvedLines[i]));
    }

    // Bookkeeping: every skipped line is marked not forwarded; the kept ones
    // share one done dispatch so the operator still sees them.
    QList<qint64> skippedIds, kept;
    for (const LineRecord* r : skipped) {
        skippedIds.append(r->lineId);
        if (r->known && r->keptForBookkeeping())
            kept.append(r->lineId);
    }
    if (Status s = markLines(QStringLiteral("uitmelden = ?"), {sql::boolValue(false)}, skippedIds);
        !s)
        return R::failure(s.error());
    const QString insertDispatch = QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, "
                                                  "done, pogingen, %1, bevestiger, bevestigtype) "
                                                  "VALUES (?, 0, ?, 0, ?, 0, 0)")
                                       .arg(m_conn.id(QStringLiteral("date")));
    QList<std::pair<qint64, qint64>> links; // every (dispatch, line), written at once
    if (!kept.isEmpty()) {
        auto id =
            m_sql.insert(insertDispatch, {key(0), sql::boolValue(true), sql::dateValue(now, d)});
        if (!id)
            return R::failure(id.error());
        out.bookkeepingId = *id;
        if (Status s = markLines(QStringLiteral("uitmeld_id = ?"), {key(*id)}, kept); !s)
            return R::failure(s.error());
        for (qint64 line : kept)
            links.append({*id, line});
    }

    // One dispatch per recipient on duty, holding all of that recipient's lines.
    QList<qint64> recipients;
    for (const DutyPair& p : duty.pairs)
        if (!recipients.contains(p.recipientId))
            recipients.append(p.recipientId);
    QHash<qint64, qint64> lastDispatchOfLine;
    for (qint64 recipient : recipients) {
        auto id = m_sql.insert(insertDispatch,
                               {key(recipient), sql::boolValue(false), sql::dateValue(now, d)});
        if (!id)
            return R::failure(id.error());
        out.dispatchIds.append(*id);
        QList<qint64> lines;
        for (const DutyPair& p : duty.pairs)
            if (p.recipientId == recipient && !lines.contains(p.lineId))
                lines.append(p.lineId);
        for (qint64 line : lines) {
            links.append({*id, line});
            lastDispatchOfLine.insert(line, *id);
        }
    }
    if (Status s = link(links); !s)
        return R::failure(s.error());
    // meldindex.uitmeld_id keeps the last recipient's dispatch, as it always did.
    for (qint64 dispatch : out.dispatchIds) {
        QList<qint64> lines;
        for (auto it = lastDispatchOfLine.cbegin(); it != lastDispatchOfLine.cend(); ++it)
            if (it.value() == dispatch)
                lines.append(it.key());
        if (Status s = markLines(QStringLiteral("uitmeld_id = ?, uitmelden = ?"),
                                 {key(dispatch), sql::boolValue(true)}, lines);
            !s)
            return R::failure(s.error());
    }
    return out;
}

} // namespace taviro
