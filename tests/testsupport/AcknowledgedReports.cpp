#include "AcknowledgedReports.h"

#include "DatabaseConnector.h"
#include "Installation.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QSqlQuery>

namespace taviro::test {

std::optional<AcknowledgedReports> fillAcknowledgedReports(const DatabaseConnector& conn, int reports,
                                                           int transmitters, int lines)
{
    AcknowledgedReports made;
    Installation inst(conn);
    const qint64 jan = inst.recipient(QStringLiteral("Jan de Vries"), QStringLiteral("+31612345678"), {}, true, false);
    const qint64 marieke =
        inst.recipient(QStringLiteral("Marieke Bakker"), QStringLiteral("+31623456789"), {}, true, false);
    QList<qint64> points;
    for (int t = 0; t < transmitters; ++t) {
        const qint64 m = inst.transmitter(QString::number(1001 + t), QStringLiteral("Gebouw %1").arg(t + 1), 1, 0, 0);
        made.melderIds << m;
        for (int p = 0; p < lines; ++p) {
            const QString function = QStringLiteral("%1").arg(p + 1, 2, 10, QLatin1Char('0'));
            points << inst.point(m, function, QStringLiteral("Alarmpunt %1 van gebouw %2").arg(function).arg(t + 1));
        }
    }
    if (!inst.ok())
        return std::nullopt;
    Transaction tx(conn);
    if (!tx.begin())
        return std::nullopt;
    QSqlQuery melding(conn.database()), line(conn.database()), uitmeld(conn.database()), link(conn.database());
    melding.prepare(QStringLiteral("INSERT INTO meldingen (melding_date, bemand, show, seen) VALUES (?, ?, ?, ?)"));
    line.prepare(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, flank, actief, "
                                "\"24uurs\", \"date\", uitmelden) VALUES (?, ?, ?, ?, 1, 1, 0, ?, 1)"));
    uitmeld.prepare(QStringLiteral("INSERT INTO uitmeld (ontvanger_id, uitmeldtype, done, pogingen, \"date\", "
                                   "bevestiger, bevestigtype, bevestigdate) VALUES (?, 1, 1, 1, ?, 1, 1, ?)"));
    link.prepare(QStringLiteral("INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, ?)"));
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
    // Spread over the year, the last report well before its end.
    const qint64 step = reports > 0 ? qint64(QDate(2026, 1, 1).daysTo(QDate(2026, 12, 31))) * 86400 / reports : 0;
    for (int r = 0; r < reports; ++r) {
        const QDateTime when = start.addSecs(qint64(r) * step);
        const QString date = sql::dateText(when);
        melding.addBindValue(date);
        melding.addBindValue(r % 5 == 0);
        melding.addBindValue(false);
        melding.addBindValue(true);
        if (!melding.exec())
            return std::nullopt;
        const qint64 meldingId = melding.lastInsertId().toLongLong();
        const int t = r % transmitters;
        QList<qint64> dispatches;
        for (qint64 recipient : {jan, marieke}) {
            uitmeld.addBindValue(recipient);
            uitmeld.addBindValue(sql::dateText(when.addSecs(60)));
            uitmeld.addBindValue(sql::dateText(when.addSecs(600)));
            if (!uitmeld.exec())
                return std::nullopt;
            dispatches << uitmeld.lastInsertId().toLongLong();
        }
        for (int p = 0; p < lines; ++p) {
            for (const QVariant& v :
                 QVariantList{meldingId, made.melderIds[t], points[lines * t + p], dispatches.last(), date})
                line.addBindValue(v);
            if (!line.exec())
                return std::nullopt;
            const qint64 lineId = line.lastInsertId().toLongLong();
            for (qint64 d : dispatches) {
                link.addBindValue(d);
                link.addBindValue(lineId);
                if (!link.exec())
                    return std::nullopt;
            }
        }
        if (r == 0)
            made.oldest = when;
        made.newest = when;
    }
    if (!tx.commit())
        return std::nullopt;
    return made;
}

} // namespace taviro::test
