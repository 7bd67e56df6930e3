#include "EscalationDuty.h"

#include "DatabaseConnector.h"
#include "DispatchCreator.h"
#include "EventLog.h"
#include "MessageComposer.h"
#include "ReportAcknowledgement.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QSqlQuery>

namespace taviro {

EscalationDuty::EscalationDuty(const DatabaseConnector& conn, const ScheduleCache& cache,
                               DispatchCreator& creator, const MessageComposer& composer, EventLog& log)
    : m_conn(conn), m_creator(creator), m_composer(composer), m_log(log), m_writer(conn, cache)
{
}

int EscalationDuty::run(const QDateTime& now)
{
    auto st = m_creator.readSettings();
    if (!st) {
        m_log.writeLog(QStringLiteral("Escalatie: instellingen niet leesbaar: %1").arg(st.error()), 1);
        return 0;
    }
    const EscalationSettings& esc = st->escalation;
    QString settingProblem;
    if (esc.minutes > EscalationSettings::kMaxMinutes)
        settingProblem = QStringLiteral("EscalatieMinuten %1 is meer dan een dag; er wordt na %2 minuten "
                                        "geëscaleerd.")
                             .arg(esc.minutes)
                             .arg(EscalationSettings::kMaxMinutes);
    else if (esc.minutes < 0)
        settingProblem = QStringLiteral("EscalatieMinuten %1 is geen geldige wachttijd; er wordt niet "
                                        "geëscaleerd.")
                             .arg(esc.minutes);
    if (settingProblem != m_loggedSettingProblem) {
        m_loggedSettingProblem = settingProblem;
        if (!settingProblem.isEmpty())
            m_log.writeLog(settingProblem, 0);
    }
    if (!esc.on())
        return 0;
    const qint64 minutes = esc.effectiveMinutes();
    int decided = 0;
    auto each = [&](const QList<qint64>& reports, EscalationLevel level) {
        for (qint64 id : reports) {
            bool failed = false;
            const std::optional<EscalationDecision> d = escalateLevel(id, level, esc, *st, now, failed);
            if (failed)
                return; // the database is in trouble: the next tick tries again
            if (!d)
                continue;
            ++decided;
            m_log.writeLog(d->logLine(), 0);
        }
    };
    each(dueForSchedule(now, minutes), EscalationLevel::Schedule);
    if (esc.copy)
        each(dueForCopy(now, minutes), EscalationLevel::Copy);
    if (esc.notice) {
        for (qint64 id : dueForNotice(now)) {
            bool failed = false;
            const std::optional<EscalationDecision> d = notify(id, now, failed);
            if (failed)
                break;
            if (d) {
                ++decided;
                m_log.writeLog(d->logLine(), 1);
            }
        }
    }
    return decided;
}

QList<qint64> EscalationDuty::reportsOf(Result<QSqlQuery>& q, const QString& what)
{
    QList<qint64> ids;
    if (!q) {
        m_log.writeLog(QStringLiteral("%1 niet leesbaar: %2").arg(what, q.error()), 1);
        return ids;
    }
    while (q->next())
        ids.append(sql::toLong(q->value(0)));
    return ids;
}

QList<qint64> EscalationDuty::dueForSchedule(const QDateTime& now, qint64 minutes)
{
    // Reports whose own dispatches all wait unacknowledged, the oldest of
    // them made at least `minutes` ago.
    const QString date = QStringLiteral("uitmeld.") + m_conn.id(QStringLiteral("date"));
    auto q = m_conn.query(
        QStringLiteral("SELECT meldindex.melding_id FROM uitmeld INNER JOIN uitmeldlink ON uitmeldlink.uitmeld_id "
                       "= uitmeld.id INNER JOIN meldindex ON meldindex.id = uitmeldlink.meldindex_id "
                       "WHERE uitmeld.ontvanger_id <> 0 AND %1 >= ? AND NOT EXISTS (SELECT 1 FROM escalatie "
                       "WHERE escalatie.melding_id = meldindex.melding_id AND escalatie.niveau = ?) "
                       "GROUP BY meldindex.melding_id HAVING SUM(CASE WHEN uitmeld.bevestigtype <> 0 THEN 1 "
                       "ELSE 0 END) = 0 AND MIN(%1) <= ? ORDER BY meldindex.melding_id")
            .arg(date),
        {sql::dateValue(now.addDays(-kChaseDays).addSecs(-60 * minutes), m_conn.dialect()),
         sql::keyValue(qint64(EscalationLevel::Schedule)), sql::dateValue(now.addSecs(-60 * minutes), m_conn.dialect())});
    return reportsOf(q, QStringLiteral("Escalatie: openstaande meldingen"));
}

QList<qint64> EscalationDuty::dueForCopy(const QDateTime& now, qint64 minutes)
{
    auto q = m_conn.query(
        QStringLiteral("SELECT e.melding_id FROM escalatie e WHERE e.niveau = ? AND e.besloten >= ? AND "
                       "e.besloten <= ? AND NOT EXISTS (SELECT 1 FROM escalatie c WHERE c.melding_id = "
                       "e.melding_id AND c.niveau = ?) AND NOT EXISTS (SELECT 1 FROM uitmeldlink INNER JOIN "
                       "meldindex ON meldindex.id = uitmeldlink.meldindex_id INNER JOIN uitmeld ON uitmeld.id = "
                       "uitmeldlink.uitmeld_id WHERE meldindex.melding_id = e.melding_id AND "
                       "uitmeld.bevestigtype <> 0) ORDER BY e.melding_id"),
        {sql::keyValue(qint64(EscalationLevel::Schedule)),
         sql::dateValue(now.addDays(-kChaseDays).addSecs(-60 * minutes), m_conn.dialect()),
         sql::dateValue(now.addSecs(-60 * minutes), m_conn.dialect()), sql::keyValue(qint64(EscalationLevel::Copy))});
    return reportsOf(q, QStringLiteral("Escalatie: geëscaleerde meldingen"));
}

QList<qint64> EscalationDuty::dueForNotice(const QDateTime& now)
{
    // Acknowledged lately, by reply or at a console (a bulk close is no
    // acknowledgement), and not yet told.
    auto q = m_conn.query(
        QStringLiteral("SELECT DISTINCT meldindex.melding_id FROM uitmeld INNER JOIN uitmeldlink ON "
                       "uitmeldlink.uitmeld_id = uitmeld.id INNER JOIN meldindex ON meldindex.id = "
                       "uitmeldlink.meldindex_id WHERE (uitmeld.bevestigtype = 1 OR uitmeld.bevestigtype = 2) AND "
                       "uitmeld.bevestigdate >= ? AND NOT EXISTS (SELECT 1 FROM escalatie WHERE escalatie.melding_id "
                       "= meldindex.melding_id AND escalatie.niveau = ?) ORDER BY meldindex.melding_id"),
        {sql::dateValue(now.addSecs(-kNoticeWindowSecs), m_conn.dialect()), sql::keyValue(qint64(EscalationLevel::Notice))});
    return reportsOf(q, QStringLiteral("Bevestigingsberichten: bevestigde meldingen"));
}

std::optional<EscalationDecision> EscalationDuty::notify(qint64 meldingId, const QDateTime& now, bool& failed)
{
    auto fail = [&](const QString& why) {
        m_log.writeLog(QStringLiteral("Bevestigingsbericht van melding %1 niet vastgelegd: %2").arg(meldingId).arg(why), 1);
        failed = true;
        return std::optional<EscalationDecision>();
    };
    Transaction tx(m_conn);
    if (Status s = tx.begin(); !s)
        return fail(s.error());
    // The first acknowledgement names who; the others told are those whose
    // dispatch went out, except whoever answered himself.
    auto who = m_conn.query(
        QStringLiteral("SELECT uitmeld.bevestigtype, uitmeld.bevestiger, gebruikers.naam, ontvangers.naam FROM uitmeld "
                       "LEFT JOIN gebruikers ON gebruikers.id = uitmeld.bevestiger LEFT JOIN ontvangers ON "
                       "ontvangers.id = uitmeld.bevestiger WHERE (uitmeld.bevestigtype = 1 OR uitmeld.bevestigtype = 2) "
                       "AND uitmeld.id IN (%1) ORDER BY uitmeld.bevestigdate, uitmeld.id")
            .arg(dispatchesOfReport()),
        {sql::keyValue(meldingId), sql::keyValue(meldingId)});
    if (!who)
        return fail(who.error());
    if (!who->next())
        return std::nullopt;
    const bool byReply = sql::toLong(who->value(0)) == 2;
    const qint64 acknowledger = sql::toLong(who->value(1));
    QString name = sql::toText(who->value(byReply ? 3 : 2));
    if (name.isEmpty())
        name = byReply ? QStringLiteral("de ontvanger") : QStringLiteral("de centralist");
    who->finish();
    auto melder = m_conn.scalar(QStringLiteral("SELECT melders.naam FROM meldindex INNER JOIN melders ON melders.id = "
                                               "meldindex.melder_id WHERE meldindex.melding_id = ? ORDER BY meldindex.id "
                                               "LIMIT 1"),
                                {sql::keyValue(meldingId)});
    if (!melder)
        return fail(melder.error());
    QList<qint64> lines, told;
    QStringList names;
    if (Status s = forwarded(meldingId, lines, told, names); !s)
        return fail(s.error());
    QList<qint64> recipients;
    auto sent = m_conn.query(
        QStringLiteral("SELECT DISTINCT uitmeld.ontvanger_id FROM uitmeld WHERE uitmeld.ontvanger_id <> 0 AND "
                       "uitmeld.uitmeldtype <> 0 AND uitmeld.id IN (%1) AND NOT EXISTS (SELECT 1 FROM escalatieuitmeld "
                       "WHERE escalatieuitmeld.uitmeld_id = uitmeld.id AND escalatieuitmeld.niveau = ?) ORDER BY 1")
            .arg(dispatchesOfReport()),
        {sql::keyValue(meldingId), sql::keyValue(meldingId), sql::keyValue(qint64(EscalationLevel::Notice))});
    if (!sent)
        return fail(sent.error());
    while (sent->next())
        if (const qint64 r = sql::toLong(sent->value(0)); !(byReply && r == acknowledger))
            recipients.append(r);
    sent->finish();
    const QString text = QStringLiteral("Melding %1 (%2) bevestigd door %3").arg(meldingId).arg(sql::toText(*melder), name);
    auto d = m_writer.notify(meldingId, lines, recipients, acknowledger ? acknowledger : -1, text, now);
    if (!d)
        return fail(d.error());
    if (Status s = tx.commit(); !s)
        return fail(s.error());
    return *d;
}

Result<bool> EscalationDuty::lockAndCheckAcknowledged(qint64 meldingId)
{
    // The report's lock orders this decision with an acknowledgement at
    // the console or a bulk close, and the empty update of its dispatches
    // with a reply being written: one being written now is waited for and
    // then read below, and one that comes later waits for this decision and
    // then sees the escalation dispatch as well. On SQLite the transaction's
    // write lock already orders all of them.
    if (Status s = lockReport(m_conn, meldingId); !s)
        return Result<bool>::failure(s.error());
    const QVariantList twice{sql::keyValue(meldingId), sql::keyValue(meldingId)};
    if (Status s = m_conn.exec(
            QStringLiteral("UPDATE uitmeld SET bevestigtype = bevestigtype WHERE id IN (%1)").arg(dispatchesOfReport()),
            twice);
        !s)
        return Result<bool>::failure(s.error());
    auto n = m_conn.scalar(
        QStringLiteral("SELECT COUNT(*) FROM uitmeld WHERE bevestigtype <> 0 AND id IN (%1)").arg(dispatchesOfReport()),
        twice);
    if (!n)
        return Result<bool>::failure(n.error());
    return sql::toLong(*n) > 0;
}

Status EscalationDuty::forwarded(qint64 meldingId, QList<qint64>& lines, QList<qint64>& recipients,
                                 QStringList& names)
{
    auto q = m_conn.query(
        QStringLiteral("SELECT uitmeld.ontvanger_id, ontvangers.naam, uitmeldlink.meldindex_id FROM uitmeld "
                       "INNER JOIN uitmeldlink ON uitmeldlink.uitmeld_id = uitmeld.id INNER JOIN meldindex ON "
                       "meldindex.id = uitmeldlink.meldindex_id LEFT JOIN ontvangers ON ontvangers.id = "
                       "uitmeld.ontvanger_id WHERE meldindex.melding_id = ? AND uitmeld.ontvanger_id <> 0 AND "
                       "NOT EXISTS (SELECT 1 FROM escalatieuitmeld WHERE escalatieuitmeld.uitmeld_id = uitmeld.id) "
                       "ORDER BY uitmeld.id, uitmeldlink.meldindex_id"),
        {sql::keyValue(meldingId)});
    if (!q)
        return Status::failure(q.error());
    while (q->next()) {
        const qint64 recipient = sql::toLong(q->value(0));
        if (!recipients.contains(recipient)) {
            recipients.append(recipient);
            names.append(q->value(1).isNull() ? QStringLiteral("ontvanger %1").arg(recipient)
                                              : sql::toText(q->value(1)));
        }
        const qint64 line = sql::toLong(q->value(2));
        if (!lines.contains(line))
            lines.append(line);
    }
    std::sort(lines.begin(), lines.end());
    return {};
}

std::optional<EscalationDecision> EscalationDuty::escalateLevel(qint64 meldingId, EscalationLevel level,
                                                                const EscalationSettings& esc,
                                                                const CreationSettings& st, const QDateTime& now,
                                                                bool& failed)
{
    auto fail = [&](const QString& why) {
        m_log.writeLog(QStringLiteral("Escalatie van melding %1 niet vastgelegd: %2").arg(meldingId).arg(why), 1);
        failed = true;
        return std::optional<EscalationDecision>();
    };
    Transaction tx(m_conn);
    if (Status s = tx.begin(); !s)
        return fail(s.error());
    auto acknowledged = lockAndCheckAcknowledged(meldingId);
    if (!acknowledged)
        return fail(acknowledged.error());
    if (*acknowledged)
        return std::nullopt; // acknowledged meanwhile: nothing more to chase
    QList<qint64> lines, told;
    QStringList names;
    if (Status s = forwarded(meldingId, lines, told, names); !s)
        return fail(s.error());
    std::optional<EscalationDecision> decision;
    if (level == EscalationLevel::Schedule) {
        auto d = m_writer.escalate(meldingId, lines, told, EscalationWriter::firstLineFor(names), esc, st, now);
        if (!d)
            return fail(d.error());
        decision = std::move(*d);
    } else {
        EscalationDecision d;
        d.meldingId = meldingId;
        d.level = level;
        auto first = m_conn.scalar(QStringLiteral("SELECT nietbevestigd FROM escalatie WHERE melding_id = ? AND "
                                                  "niveau = ?"),
                                   {sql::keyValue(meldingId), sql::keyValue(qint64(EscalationLevel::Schedule))});
        if (!first)
            return fail(first.error());
        d.firstLine = sql::toText(*first);
        if (st.everyReport.isEmpty() && st.unmanned.isEmpty())
            d.problem = QStringLiteral("er is geen kopie-e-mailadres ingevuld");
        auto mine = m_writer.takeKey(meldingId, level, d.firstLine,
                                     QStringList{st.everyReport, st.unmanned}.join(QLatin1Char(';')), now);
        if (!mine)
            return fail(mine.error());
        if (*mine) {
            // The mail tells the report's lines as its dispatches did, or,
            // when nobody at all could be told, its first line.
            auto what = m_conn.query(
                QStringLiteral("SELECT MIN(uitmeld.id), MIN(meldindex.id) FROM meldindex LEFT JOIN uitmeldlink ON "
                               "uitmeldlink.meldindex_id = meldindex.id LEFT JOIN uitmeld ON uitmeld.id = "
                               "uitmeldlink.uitmeld_id AND uitmeld.ontvanger_id <> 0 WHERE meldindex.melding_id = ?"),
                {sql::keyValue(meldingId)});
            if (!what)
                return fail(what.error());
            if (what->next()) {
                d.dispatchIds.append(sql::toLong(what->value(0)));
                d.lineId = sql::toLong(what->value(1));
            }
            what->finish();
            if (d.problem.isEmpty())
                if (Status s = queueCopyMails(d, st); !s)
                    return fail(s.error());
            decision = std::move(d);
        }
    }
    if (Status s = tx.commit(); !s)
        return fail(s.error());
    return decision;
}

Status EscalationDuty::queueCopyMails(const EscalationDecision& d, const CreationSettings& st)
{
    const qint64 dispatch = d.dispatchIds.value(0);
    const ComposedEmail mail = m_composer.composeEmail(dispatch ? dispatch : d.lineId,
                                                       dispatch ? MessageComposer::EmailMode::Dispatch
                                                                : MessageComposer::EmailMode::Line,
                                                       m_composer.subjectTemplate());
    QStringList sent;
    for (const auto& [address, label] : {std::pair{st.everyReport, QStringLiteral("Elke melding ontvanger (zie opties)")},
                                         std::pair{st.unmanned, QStringLiteral("Onbemande melding ontvanger (zie opties)")}}) {
        if (address.isEmpty() || sent.contains(address))
            continue;
        sent.append(address);
        const outbox::OutgoingMail m{QStringLiteral("escalatie %1").arg(d.meldingId), 0, address, label,
                                     QStringLiteral("ESCALATIE ") + mail.subject,
                                     d.firstLine + QStringLiteral("\r\n") + mail.body, {}, {}};
        if (auto queued = outbox::queueMail(m_conn, m); !queued)
            return Status::failure(queued.error());
    }
    return {};
}

Status EscalationDuty::escalateAtIntake(qint64 meldingId, const CreatedDispatches& created, const QDateTime& now,
                                        const CreationSettings& st)
{
    if (!st.escalation.on() || created.unreachedLines.isEmpty())
        return {};
    auto d = m_writer.escalate(meldingId, created.forwardLines, created.recipientIds,
                               EscalationWriter::firstLineFor({}), st.escalation, st, now);
    if (!d)
        return Status::failure(d.error());
    if (*d)
        m_pending.append(std::move(**d));
    return {};
}

void EscalationDuty::reportIntakeDecisions()
{
    for (const EscalationDecision& d : m_pending)
        m_log.writeLog(d.logLine(), 0);
    m_pending.clear();
}

} // namespace taviro
