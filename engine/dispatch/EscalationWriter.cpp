#include "EscalationWriter.h"

#include "DatabaseConnector.h"
#include "DispatchCreator.h"
#include "DutyResolver.h"
#include "ScheduleCache.h"
#include "SqlValues.h"

#include <QSqlQuery>

namespace taviro {

QString EscalationDecision::logLine() const
{
    if (level == EscalationLevel::Notice)
        return QStringLiteral("%1: bericht aan %2 ontvanger(s).").arg(firstLine).arg(dispatchIds.size());
    if (level == EscalationLevel::Copy)
        return problem.isEmpty()
                   ? QStringLiteral("Melding %1 ook na de escalatie niet bevestigd: e-mail naar de kopieadressen.")
                         .arg(meldingId)
                   : QStringLiteral("Melding %1 ook na de escalatie niet bevestigd; %2.").arg(meldingId).arg(problem);
    if (!problem.isEmpty())
        return QStringLiteral("Melding %1 niet geëscaleerd: %2; de melding blijft bij wie bereikbaar is.")
            .arg(meldingId)
            .arg(problem);
    return QStringLiteral("Melding %1 geëscaleerd naar %2 (%3).")
        .arg(meldingId)
        .arg(recipientNames.join(QStringLiteral(", ")), firstLine);
}

EscalationWriter::EscalationWriter(const DatabaseConnector& conn, const ScheduleCache& cache)
    : m_conn(conn), m_cache(cache)
{
}

QString EscalationWriter::firstLineFor(const QStringList& notAcknowledgedBy)
{
    if (notAcknowledgedBy.isEmpty())
        return QStringLiteral("ESCALATIE: niemand van dienst");
    return QStringLiteral("ESCALATIE: niet bevestigd door ") + notAcknowledgedBy.join(QStringLiteral(", "));
}

QList<qint64> EscalationWriter::onDuty(const EscalationSettings& esc, const CreationSettings& st,
                                       const QDateTime& now, QString& problem) const
{
    const bool year = esc.yearId != 0;
    const qint64 id = year ? esc.yearId : esc.weekId;
    if (id == 0) {
        problem = QStringLiteral("er is geen escalatierooster ingesteld");
        return {};
    }
    const QString kind = year ? QStringLiteral("jaarrooster") : QStringLiteral("weekrooster");
    const bool deleted = year ? (m_cache.year(id) && m_cache.year(id)->deleted)
                              : (m_cache.week(id) && m_cache.week(id)->deleted);
    if (deleted) {
        problem = QStringLiteral("escalatie%1 %2 is verwijderd").arg(kind).arg(id);
        return {};
    }
    DutyOutcome out;
    DutyResolver(m_cache, now, st.einddienst, st.eindtijd)
        .addOnDutyRecipients({{0, id}}, year ? ScheduleMode::Year : ScheduleMode::Week, out);
    if (!out.problems.isEmpty()) {
        problem = QStringLiteral("escalatie") + out.problems.first().at(0).toLower() + out.problems.first().mid(1);
        return {};
    }
    QList<qint64> recipients;
    for (const DutyPair& p : out.pairs)
        if (!recipients.contains(p.recipientId))
            recipients.append(p.recipientId);
    if (recipients.isEmpty())
        problem = QStringLiteral("niemand van dienst in escalatie%1 %2").arg(kind).arg(id);
    return recipients;
}

Result<bool> EscalationWriter::takeKey(qint64 meldingId, EscalationLevel level, const QString& firstLine,
                                       const QString& recipients, const QDateTime& now)
{
    auto q = m_conn.query(QStringLiteral("INSERT INTO escalatie (melding_id, niveau, besloten, nietbevestigd, "
                                         "ontvangers) VALUES (?, ?, ?, ?, ?) "
                                         "ON CONFLICT (melding_id, niveau) DO NOTHING"),
                          {sql::keyValue(meldingId), sql::keyValue(qint64(level)),
                           sql::dateValue(now, m_conn.dialect()), sql::textValue(firstLine),
                           sql::textValue(recipients)});
    if (!q)
        return Result<bool>::failure(q.error());
    return q->numRowsAffected() == 1;
}

Result<std::optional<EscalationDecision>> EscalationWriter::escalate(
    qint64 meldingId, const QList<qint64>& lines, const QList<qint64>& alreadyTold, const QString& firstLine,
    const EscalationSettings& esc, const CreationSettings& st, const QDateTime& now)
{
    using R = Result<std::optional<EscalationDecision>>;
    EscalationDecision d;
    d.meldingId = meldingId;
    d.firstLine = firstLine;
    QList<qint64> recipients;
    for (qint64 r : onDuty(esc, st, now, d.problem))
        if (!alreadyTold.contains(r))
            recipients.append(r);
    if (recipients.isEmpty() && d.problem.isEmpty())
        d.problem = QStringLiteral("wie van dienst is in het escalatierooster had de melding al");
    if (lines.isEmpty() && d.problem.isEmpty()) {
        d.problem = QStringLiteral("de melding heeft geen regels om door te sturen");
        recipients.clear();
    }
    for (qint64 r : recipients) {
        auto name = m_conn.scalar(QStringLiteral("SELECT naam FROM ontvangers WHERE id = ?"), {sql::keyValue(r)});
        if (!name)
            return R::failure(name.error());
        d.recipientNames << (name->isNull() ? QStringLiteral("ontvanger %1").arg(r) : sql::toText(*name));
    }
    auto mine = takeKey(meldingId, EscalationLevel::Schedule, firstLine, d.recipientNames.join(QStringLiteral(", ")),
                        now);
    if (!mine)
        return R::failure(mine.error());
    if (!*mine)
        return std::optional<EscalationDecision>();

    for (qint64 r : recipients) {
        auto id = addDispatch(meldingId, EscalationLevel::Schedule, r, 0, lines, now);
        if (!id)
            return R::failure(id.error());
        d.dispatchIds.append(*id);
    }
    return std::optional<EscalationDecision>(std::move(d));
}

Result<qint64> EscalationWriter::addDispatch(qint64 meldingId, EscalationLevel level, qint64 recipient,
                                             qint64 bevestiger, const QList<qint64>& lines, const QDateTime& now)
{
    auto id = m_conn.insert(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, %1, "
                                           "bevestiger, bevestigtype) VALUES (?, 0, ?, 0, ?, ?, 0)")
                                .arg(m_conn.id(QStringLiteral("date"))),
                            {sql::keyValue(recipient), sql::boolValue(false), sql::dateValue(now, m_conn.dialect()),
                             sql::keyValue(bevestiger)});
    if (!id)
        return id;
    if (Status s = m_conn.exec(QStringLiteral("INSERT INTO escalatieuitmeld (uitmeld_id, melding_id, niveau) "
                                              "VALUES (?, ?, ?)"),
                               {sql::keyValue(*id), sql::keyValue(meldingId), sql::keyValue(qint64(level))});
        !s)
        return Result<qint64>::failure(s.error());
    // Delivery offers only dispatches with a line; the lines are what the
    // views show the dispatch under.
    for (qint64 line : lines)
        if (Status s = m_conn.exec(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, ?)"),
                                   {sql::keyValue(*id), sql::keyValue(line)});
            !s)
            return Result<qint64>::failure(s.error());
    return id;
}

Result<std::optional<EscalationDecision>> EscalationWriter::notify(qint64 meldingId, const QList<qint64>& lines,
                                                                   const QList<qint64>& recipients,
                                                                   qint64 acknowledger, const QString& text,
                                                                   const QDateTime& now)
{
    using R = Result<std::optional<EscalationDecision>>;
    EscalationDecision d;
    d.meldingId = meldingId;
    d.level = EscalationLevel::Notice;
    d.firstLine = text;
    auto mine = takeKey(meldingId, EscalationLevel::Notice, text, QString(), now);
    if (!mine)
        return R::failure(mine.error());
    if (!*mine)
        return std::optional<EscalationDecision>();
    // Marked with who acknowledged (the repetition passes over anything
    // with a bevestiger), yet still open for delivery.
    for (qint64 r : recipients) {
        auto id = addDispatch(meldingId, EscalationLevel::Notice, r, acknowledger, lines, now);
        if (!id)
            return R::failure(id.error());
        d.dispatchIds.append(*id);
    }
    return std::optional<EscalationDecision>(std::move(d));
}

} // namespace taviro
