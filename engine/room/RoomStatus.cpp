#include "RoomStatus.h"

#include "DatabaseConnector.h"
#include "MailOutbox.h"
#include "SqlValues.h"

#include <QSqlQuery>

namespace taviro {

namespace {

// A manned console whose heartbeat is older than this no longer counts.
constexpr qint64 kFreshSeconds = 90;

Status readWorkstations(const DatabaseConnector& conn, RoomStatus& out)
{
    auto q = conn.query(QStringLiteral("SELECT werkplek.*, %1 - hartslag AS leeftijd FROM werkplek ORDER BY soort, naam")
                            .arg(sql::serverNowSeconds(conn.dialect())));
    if (!q)
        return Status::failure(q.error());
    while (q->next()) {
        WorkstationStatus w;
        w.naam = sql::toText(q->value(QStringLiteral("naam")));
        w.soort = sql::toText(q->value(QStringLiteral("soort")));
        w.gebruiker = sql::toText(q->value(QStringLiteral("gebruiker")));
        w.bemand = sql::toBool(q->value(QStringLiteral("bemand")));
        w.heartbeatAge = sql::toLong(q->value(QStringLiteral("leeftijd")));
        w.modemReady = sql::toBool(q->value(QStringLiteral("gsmklaar")));
        out.workstations.append(w);
    }
    return {};
}

Status readDispatches(const DatabaseConnector& conn, const QDateTime& now, RoomStatus& out)
{
    // What the delivery passes will still send: pending, with a line.
    auto q = conn.query(QStringLiteral("SELECT COUNT(*), MIN(%1) FROM uitmeld WHERE done = ? AND ontvanger_id <> 0 AND "
                                       "EXISTS (SELECT 1 FROM uitmeldlink WHERE uitmeldlink.uitmeld_id = uitmeld.id)")
                            .arg(conn.id(QStringLiteral("date"))),
                        {sql::boolValue(false)});
    if (!q)
        return Status::failure(q.error());
    if (q->next()) {
        out.openDispatches = sql::toLong(q->value(0));
        const QDateTime oldest = sql::toDate(q->value(1));
        if (out.openDispatches > 0 && oldest.isValid())
            out.oldestOpenAge = qMax<qint64>(0, oldest.secsTo(now));
    }
    auto e = conn.scalar(
        QStringLiteral("SELECT COUNT(*) FROM escalatie e WHERE e.niveau = 1 AND e.besloten >= ? AND NOT EXISTS "
                       "(SELECT 1 FROM uitmeldlink INNER JOIN meldindex ON meldindex.id = uitmeldlink.meldindex_id "
                       "INNER JOIN uitmeld ON uitmeld.id = uitmeldlink.uitmeld_id WHERE meldindex.melding_id = "
                       "e.melding_id AND uitmeld.bevestigtype <> 0)"),
        {sql::dateValue(now.addDays(-1), conn.dialect())});
    // A database no workstation of this version has opened yet has no
    // escalation table; the rest is worth showing all the same.
    if (e)
        out.escalationsWaiting = sql::toLong(*e);
    return {};
}

Status readOutbox(const DatabaseConnector& conn, RoomStatus& out)
{
    using outbox::MailStatus;
    // Sent mails are history; waiting and given-up ones are what counts.
    auto q = conn.query(QStringLiteral("SELECT status, COUNT(*) FROM mailwachtrij WHERE status IN (?, ?) GROUP BY status"),
                        {sql::keyValue(qint64(MailStatus::Waiting)), sql::keyValue(qint64(MailStatus::Failed))});
    // A database no workstation of this version has opened has no outbox
    // yet; the rest is worth showing all the same.
    if (!q)
        return {};
    out.mailQueued = 0;
    out.mailFailed = 0;
    while (q->next())
        *(sql::toLong(q->value(0)) == qint64(MailStatus::Failed) ? out.mailFailed : out.mailQueued) = sql::toLong(q->value(1));
    return {};
}

} // namespace

QString ageText(qint64 seconds)
{
    if (seconds < 120)
        return QStringLiteral("%1 s").arg(seconds);
    const qint64 minutes = seconds / 60;
    if (minutes < 120)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 u %2 min").arg(minutes / 60).arg(minutes % 60);
}

Result<RoomStatus> readRoomStatus(const DatabaseConnector& conn, const QDateTime& now)
{
    RoomStatus out;
    for (Status s : {readWorkstations(conn, out), readDispatches(conn, now, out), readOutbox(conn, out)})
        if (!s)
            return Result<RoomStatus>::failure(s.error());
    return out;
}

QStringList RoomStatus::lines() const
{
    QStringList text;
    text << QStringLiteral("Werkplekken:");
    if (workstations.isEmpty())
        text << QStringLiteral("  (geen)");
    for (const WorkstationStatus& w : workstations) {
        QString line = QStringLiteral("  %1 %2: hartslag %3 geleden, %4")
                           .arg(w.soort, w.naam, ageText(w.heartbeatAge),
                                w.bemand ? QStringLiteral("bemand") : QStringLiteral("onbemand"));
        if (!w.gebruiker.isEmpty())
            line += QStringLiteral(" (%1)").arg(w.gebruiker);
        if (w.modemReady)
            line += QStringLiteral(", GSM-modem kan verzenden");
        text << line;
    }
    text << QStringLiteral("Openstaande uitmeldingen: %1%2")
                .arg(openDispatches)
                .arg(oldestOpenAge ? QStringLiteral(", de oudste %1 oud").arg(ageText(*oldestOpenAge)) : QString());
    text << QStringLiteral("Escalaties zonder bevestiging: %1")
                .arg(escalationsWaiting ? QString::number(*escalationsWaiting) : QStringLiteral("onbekend"));
    if (mailQueued)
        text << QStringLiteral("E-mail wachtrij: %1 wachtend, %2 mislukt").arg(*mailQueued).arg(mailFailed.value_or(0));
    return text;
}

QString RoomStatus::summary() const
{
    int manned = 0;
    for (const WorkstationStatus& w : workstations)
        manned += w.bemand && w.soort == QLatin1String("console") && w.heartbeatAge <= kFreshSeconds ? 1 : 0;
    QString text = QStringLiteral("%1; %2 openstaand%3; %4 escalatie(s)")
                       .arg(manned > 0 ? QStringLiteral("bemand") : QStringLiteral("onbemand"))
                       .arg(openDispatches)
                       .arg(oldestOpenAge ? QStringLiteral(" (oudste %1)").arg(ageText(*oldestOpenAge)) : QString())
                       .arg(escalationsWaiting.value_or(0));
    if (mailQueued)
        text += QStringLiteral("; e-mail %1 wachtend, %2 mislukt").arg(*mailQueued).arg(mailFailed.value_or(0));
    return text;
}

} // namespace taviro
