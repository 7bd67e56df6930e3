#include "DatabaseCopy.h"
#include "Mappings.h"
#include "Repositories.h"
#include "Schema.h"
#include "SchemaExtensions.h"
#include "SqlReportStore.h"
#include "TestDatabase.h"

#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace taviro;

namespace {

// Every row of a table with each value read the way the console reads it, so
// two databases compare equal whatever form each stores a value in.
QStringList contents(const DatabaseConnector& conn, const schema::TableSpec& table)
{
    QStringList rows;
    auto q = conn.query(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table.name));
    if (!q)
        return {q.error()};
    while (q->next()) {
        QStringList row{QString::number(sql::toLong(q->value(QStringLiteral("id"))))};
        const QSqlRecord rec = q->record();
        for (const schema::ColumnSpec& c : table.columns) {
            int i = 0;
            while (i < rec.count() && rec.fieldName(i).compare(c.name, Qt::CaseInsensitive) != 0)
                ++i;
            const QVariant v = q->value(i);
            switch (c.kind) {
            case ColumnKind::Long:
                row << QString::number(sql::toLong(v));
                break;
            case ColumnKind::Bool:
                row << (sql::toBool(v) ? QStringLiteral("ja") : QStringLiteral("nee"));
                break;
            case ColumnKind::Text:
                row << sql::toText(v);
                break;
            case ColumnKind::Date:
                row << sql::dateText(sql::toDate(v));
                break;
            }
        }
        rows << row.join(QLatin1Char('|'));
    }
    return rows;
}

QList<schema::TableSpec> allTables()
{
    QList<schema::TableSpec> t = schema::version29Tables();
    t.append(schema::specOf(mapping::uitmeldlink()));
    t.append(schema::specOf(mapping::uitmeldmail()));
    t.append(schema::mailOutboxTable());
    return t;
}

} // namespace

// Moving an installation between a SQLite file and PostgreSQL keeps every row
// and key; with TAVIRO_TEST_DATABASE set the same test copies PostgreSQL to
// SQLite and back into PostgreSQL.
class TstCopy : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundTripKeepsEveryRowAndKey()
    {
        test::TestDatabase source(true);
        QVERIFY2(source.ok(), qPrintable(source.error()));
        auto conn = source.connect();
        // Gaps in the keys, an apostrophe, a date, a line linked to a dispatch
        // and the e-mail that dispatch still owes.
        const QDateTime at(QDate(2026, 12, 2), QTime(23, 59, 58));
        auto stored = SqlReportStore(*conn).store(
            {QStringLiteral("7001"),
             QStringLiteral("'t Hof"),
             at,
             {{QStringLiteral("01"), QStringLiteral("Brand"), 1, at, {}, {}}}});
        QVERIFY2(stored.ok(), qPrintable(stored.error()));
        QVERIFY(conn->exec(QStringLiteral("DELETE FROM gebruikers WHERE id = 1")).ok());
        Uitmeld u;
        u.ontvanger_id = 1;
        u.date = at;
        const qint64 dispatch = *UitmeldRepository(*conn).insert(u);
        QVERIFY(conn->exec(QStringLiteral(
                               "INSERT INTO uitmeldlink (uitmeld_id, meldindex_id) VALUES (?, 1)"),
                           {dispatch})
                    .ok());
        QVERIFY(conn->exec(QStringLiteral("INSERT INTO uitmeldmail (uitmeld_id) VALUES (?)"),
                           {dispatch})
                    .ok());

        // Through a SQLite file into a new database of the source's kind.
        QTemporaryDir dir;
        const QString middle = dir.filePath(QStringLiteral("tussen.db"));
        test::TestDatabase back(test::TestDatabase::Empty{});
        QVERIFY2(back.ok(), qPrintable(back.error()));
        const QString last = back.path();

        auto there = copyDatabase(source.settings(), DatabaseSettings::fromText(middle));
        QVERIFY2(there.ok(), qPrintable(there.error()));
        QCOMPARE(there->tables, allTables().size());
        auto home =
            copyDatabase(DatabaseSettings::fromText(middle), DatabaseSettings::fromText(last));
        QVERIFY2(home.ok(), qPrintable(home.error()));
        QCOMPARE(home->rows, there->rows);

        auto copy = DatabaseConnector::open(DatabaseSettings::fromText(last));
        QVERIFY2(copy.ok(), qPrintable(copy.error()));
        for (const schema::TableSpec& t : allTables())
            QCOMPARE(contents(**copy, t), contents(*conn, t));
        // A new row continues after the copied keys.
        QVERIFY(*UitmeldRepository(**copy).insert(u) > dispatch);
    }

    void refusesATargetThatHoldsAnInstallation()
    {
        test::TestDatabase source;
        test::TestDatabase target;
        const qint64 before = sql::toLong(
            *target.connect()->scalar(QStringLiteral("SELECT COUNT(*) FROM gebruikers")));
        auto r = copyDatabase(source.settings(), target.settings());
        QVERIFY(!r.ok());
        QVERIFY2(r.error().contains(QStringLiteral("bestaat al")), qPrintable(r.error()));
        QCOMPARE(sql::toLong(
                     *target.connect()->scalar(QStringLiteral("SELECT COUNT(*) FROM gebruikers"))),
                 before);
    }
};

QTEST_GUILESS_MAIN(TstCopy)
#include "tst_copy.moc"
