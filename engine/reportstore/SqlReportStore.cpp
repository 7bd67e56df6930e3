#include "SqlReportStore.h"

#include "DatabaseConnector.h"
#include "KeyLists.h"
#include "SqlValues.h"
#include "WorkNotice.h"

#include <QSqlQuery>

namespace taviro {

SqlReportStore::SqlReportStore(const DatabaseConnector& conn) : m_conn(conn), m_sql(conn) {}

Status SqlReportStore::checkReport(const ReceivedReport& report) const
{
    if (report.lines.isEmpty())
        return Status::failure(QStringLiteral("melding zonder alarmregels van melder '%1' niet opgeslagen")
                                   .arg(report.melderAlias));
    for (const ReceivedLine& line : report.lines)
        if ((line.melderAlias.isEmpty() ? report.melderAlias : line.melderAlias).trimmed().isEmpty())
            return Status::failure(QStringLiteral("melding zonder OS-nummer niet opgeslagen"));
    // A shared database server that restarted since the last report: open
    // the connection again before the report's transaction, never inside it.
    if (Status s = m_conn.restore(); !s)
        return s;
    // A report stored into a deleted or replaced file would be lost for
    // good; refused, the transmitter sends it again later.
    if (Status s = m_conn.fileStillThere(); !s)
        return Status::failure(s.error() + QStringLiteral(" Melding niet opgeslagen."));
    return {};
}

Result<qint64> SqlReportStore::store(const ReceivedReport& report)
{
    if (Status s = checkReport(report); !s)
        return Result<qint64>::failure(s.error());
    CachedTransaction tx(m_sql);
    if (Status s = tx.begin(); !s)
        return Result<qint64>::failure(s.error());
    auto id = storeInTransaction(report);
    if (!id)
        return id; // rolled back by the transaction's destructor
    if (Status s = tx.commit(); !s)
        return Result<qint64>::failure(s.error());
    return id;
}

Result<SqlReportStore::Stored> SqlReportStore::storeOnce(const ReceivedReport& report, const QString& key,
                                                         const QString& family)
{
    using R = Result<Stored>;
    if (Status s = checkReport(report); !s)
        return R::failure(s.error());
    const Dialect d = m_conn.dialect();
    CachedTransaction tx(m_sql);
    if (Status s = tx.begin(); !s)
        return R::failure(s.error());
    // Keys older than the window are forgotten first, so a transmitter that
    // reuses a sequence number a day later is heard again.
    if (Status s = m_sql.exec(QStringLiteral("DELETE FROM meldingsleutel WHERE ontvangen < ?"),
                              {sql::dateValue(report.receivedAt.addSecs(-kRepeatWindowSecs), d)});
        !s)
        return R::failure(s.error());
    Stored out;
    Status s = m_sql.rows(QStringLiteral("SELECT melding_id FROM meldingsleutel WHERE sleutel = ?"),
                          {sql::textValue(key)}, [&](const QSqlQuery& q) {
                              out.meldingId = sql::toLong(q.value(0));
                              out.repeat = true;
                          });
    if (!s)
        return R::failure(s.error());
    if (!out.repeat) {
        auto id = storeInTransaction(report);
        if (!id)
            return R::failure(id.error());
        out.meldingId = *id;
        s = m_sql.exec(QStringLiteral("INSERT INTO meldingsleutel (sleutel, melding_id, ontvangen) VALUES (?, ?, ?)"),
                       {sql::textValue(key), sql::keyValue(*id), sql::dateValue(report.receivedAt, d)});
        if (!s)
            return R::failure(s.error());
        if (!family.isEmpty()) {
            s = m_sql.exec(QStringLiteral("DELETE FROM meldingsleutel WHERE substr(sleutel, 1, ?) = ? "
                                          "AND length(sleutel) = ? AND sleutel <> ?"),
                           {int(family.size()), sql::textValue(family), int(key.size()), sql::textValue(key)});
            if (!s)
                return R::failure(s.error());
        }
    }
    if (s = tx.commit(); !s)
        return R::failure(s.error());
    return out;
}

Status SqlReportStore::keepKey(const QString& key, const QDateTime& at)
{
    return m_sql.exec(QStringLiteral("UPDATE meldingsleutel SET ontvangen = ? WHERE sleutel = ?"),
                      {sql::dateValue(at, m_conn.dialect()), sql::textValue(key)});
}

Result<qint64> SqlReportStore::storeInTransaction(const ReceivedReport& report)
{
    const Dialect d = m_conn.dialect();
    const QDateTime received = report.receivedAt;
    auto meldingId = m_sql.insert(
        QStringLiteral("INSERT INTO meldingen (melding_date, bemand, %1, seen) VALUES (?, ?, ?, ?)")
            .arg(m_conn.id(QStringLiteral("show"))),
        {sql::dateValue(received, d), sql::boolValue(false), sql::boolValue(true), sql::boolValue(false)});
    if (!meldingId)
        return meldingId;

    // One lookup per transmitter in the report, one read of its points, and
    // all lines written by one statement.
    QVariantList lineValues;
    QStringList lineRows;
    QHash<QString, std::pair<qint64, Points>> melders;
    for (const ReceivedLine& line : report.lines) {
        const QString alias = line.melderAlias.isEmpty() ? report.melderAlias : line.melderAlias;
        auto known = melders.find(alias);
        if (known == melders.end()) {
            const QString naam = line.melderAlias.isEmpty() ? report.melderNaam : line.melderNaam;
            auto m = melderFor(alias, naam);
            if (!m)
                return m;
            // Only the points this report names: a controller may have hundreds.
            QStringList codes;
            for (const ReceivedLine& other : report.lines)
                if ((other.melderAlias.isEmpty() ? report.melderAlias : other.melderAlias) == alias &&
                    !codes.contains(other.functie))
                    codes.append(other.functie);
            Points points;
            if (Status s = loadPoints(*m, codes, points); !s)
                return Result<qint64>::failure(s.error());
            known = melders.insert(alias, {*m, points});
        }
        const qint64 melderId = known->first;
        auto point = pointFor(melderId, line, known->second);
        if (!point)
            return Result<qint64>::failure(point.error());

        const QDateTime when = storedLineDate(line, received);
        // The line copies the point's state as it is now, so a later change of
        // the point does not rewrite history.
        lineValues << sql::keyValue(*meldingId) << sql::keyValue(melderId) << sql::keyValue(point->id) << QVariant(line.flank)
                   << sql::boolValue(point->actief) << sql::boolValue(point->uurs24) << sql::dateValue(when, d)
                   << sql::boolValue(false);
        lineRows << QStringLiteral("(?, ?, ?, 0, ?, ?, ?, ?, ?)");
        if (point->uurs24) {
            // A check-in: the controller is alive, so the watchdog starts counting again.
            Status s = m_sql.exec(QStringLiteral("UPDATE alarmen SET %1 = ?, tolate = ? WHERE id = ?")
                                       .arg(m_conn.id(QStringLiteral("date"))),
                                   {sql::dateValue(when, d), sql::boolValue(false), sql::keyValue(point->id)});
            if (!s)
                return Result<qint64>::failure(s.error());
        }
    }
    // In chunks, to stay far below the database's limit on bound values.
    constexpr qsizetype kRowsPerStatement = 100;
    constexpr qsizetype kValuesPerRow = 8;
    for (qsizetype first = 0; first < lineRows.size(); first += kRowsPerStatement) {
        const qsizetype n = std::min(kRowsPerStatement, lineRows.size() - first);
        Status s = m_sql.exec(QStringLiteral("INSERT INTO meldindex (melding_id, melder_id, alarm_id, uitmeld_id, flank, "
                                             "actief, %1, %2, uitmelden) VALUES ")
                                      .arg(m_conn.id(QStringLiteral("24uurs")), m_conn.id(QStringLiteral("date")))
                                  + lineRows.mid(first, n).join(QLatin1Char(',')),
                              lineValues.mid(first * kValuesPerRow, n * kValuesPerRow));
        if (!s)
            return Result<qint64>::failure(s.error());
    }
    // Every workstation that takes reports in hears of it at the commit.
    if (Status s = announceWork(m_conn); !s)
        return Result<qint64>::failure(s.error());
    return meldingId;
}

Result<qint64> SqlReportStore::melderFor(const QString& alias, const QString& naam)
{
    qint64 found = 0;
    Status s = m_sql.rows(QStringLiteral("SELECT id FROM melders WHERE alias = ? ORDER BY id LIMIT 1"),
                          {sql::textValue(alias)}, [&](const QSqlQuery& q) { found = sql::toLong(q.value(0)); });
    if (!s)
        return Result<qint64>::failure(s.error());
    if (found != 0)
        return found;
    // A transmitter nobody configured yet: [new] tells the console to show it in its tree.
    return m_sql.insert(QStringLiteral("INSERT INTO melders (alias, naam, actief, %1, uitmeld, weekmelder, jaarmelder, "
                                        "deleted) VALUES (?, ?, ?, ?, 0, 0, 0, ?)")
                             .arg(m_conn.id(QStringLiteral("new"))),
                         {sql::textValue(alias), sql::textValue(naam.isEmpty() ? alias : naam), sql::boolValue(true),
                          sql::boolValue(true), sql::boolValue(false)});
}

Status SqlReportStore::loadPoints(qint64 melderId, const QStringList& codes, Points& points)
{
    using namespace keylists;
    for (qsizetype from = 0; from < codes.size(); from += kMaxList) {
        const QStringList chunk = padded(codes.mid(from, kMaxList));
        QVariantList binds{sql::keyValue(melderId)};
        for (const QString& code : chunk)
            binds << sql::textValue(code);
        // A point that exists twice is found as the first one not deleted.
        const QString& text = textFor(m_pointTexts, chunk.size(), [this](qsizetype n) {
            return QStringLiteral("SELECT id, functie, actief, %1 FROM alarmen WHERE melder_id = ? "
                                  "AND functie IN (%2) ORDER BY deleted, id")
                .arg(m_conn.id(QStringLiteral("24uurs")), placeholders(n));
        });
        Status s = m_sql.rows(text, binds, [&](const QSqlQuery& q) {
            const QString functie = sql::toText(q.value(1));
            if (!points.contains(functie))
                points.insert(functie,
                              {sql::toLong(q.value(0)), sql::toBool(q.value(2)), sql::toBool(q.value(3))});
        });
        if (!s)
            return s;
    }
    return {};
}

Result<SqlReportStore::Point> SqlReportStore::pointFor(qint64 melderId, const ReceivedLine& line, Points& points)
{
    if (auto it = points.constFind(line.functie); it != points.constEnd())
        return *it;
    auto id = m_sql.insert(QStringLiteral("INSERT INTO alarmen (melder_id, functie, omschrijving, actief, %1, tolate, "
                                          "uitmeldtype, rooster_id, deleted) VALUES (?, ?, ?, ?, ?, ?, 0, 0, ?)")
                               .arg(m_conn.id(QStringLiteral("24uurs"))),
                           {sql::keyValue(melderId), sql::textValue(line.functie), sql::textValue(line.omschrijving),
                            sql::boolValue(true), sql::boolValue(false), sql::boolValue(false),
                            sql::boolValue(false)});
    if (!id)
        return Result<Point>::failure(id.error());
    const Point p{*id, true, false};
    points.insert(line.functie, p);
    return p;
}

} // namespace taviro
