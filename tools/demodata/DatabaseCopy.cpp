#include "DatabaseCopy.h"

#include "EscalationSettings.h"
#include "Mappings.h"
#include "Schema.h"
#include "SchemaExtensions.h"
#include "SqlValues.h"
#include "Transaction.h"

#include <QFile>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>

namespace taviro {

namespace {

// A value as the target stores it: booleans, dates and texts each have their
// own form per database (docs/database.md).
QVariant converted(const QVariant& v, ColumnKind kind, Dialect target)
{
    switch (kind) {
    case ColumnKind::Long:
        return QVariant::fromValue(sql::toLong(v));
    case ColumnKind::Bool:
        return sql::boolValue(sql::toBool(v));
    case ColumnKind::Text:
        return sql::textValue(sql::toText(v));
    case ColumnKind::Date:
        return sql::dateValue(sql::toDate(v), target);
    }
    return v;
}

Result<qint64> copyTable(const DatabaseConnector& from, const DatabaseConnector& to,
                         const schema::TableSpec& table)
{
    auto rows = from.query(QStringLiteral("SELECT * FROM %1 ORDER BY id").arg(table.name));
    if (!rows)
        return Result<qint64>::failure(
            QStringLiteral("%1 niet leesbaar: %2").arg(table.name, rows.error()));
    // Columns the source lacks (an older program's database) get their defaults.
    const QSqlRecord record = rows->record();
    QStringList names{QStringLiteral("id")};
    QStringList marks{QStringLiteral("?")};
    QList<int> sourceIndex;
    QList<ColumnKind> kinds;
    for (const schema::ColumnSpec& c : table.columns) {
        int index = -1;
        for (int i = 0; i < record.count(); ++i)
            if (record.fieldName(i).compare(c.name, Qt::CaseInsensitive) == 0)
                index = i;
        if (index < 0)
            continue;
        names << to.id(c.name);
        marks << QStringLiteral("?");
        sourceIndex << index;
        kinds << c.kind;
    }
    const int idIndex = record.indexOf(QStringLiteral("id"));
    QSqlQuery insert(to.database());
    if (!insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(table.name, names.join(QStringLiteral(", ")),
                                 marks.join(QStringLiteral(", ")))))
        return Result<qint64>::failure(describeSqlError(insert.lastError()));
    qint64 copied = 0;
    while (rows->next()) {
        insert.bindValue(0, QVariant::fromValue(sql::toLong(rows->value(idIndex))));
        for (int i = 0; i < sourceIndex.size(); ++i)
            insert.bindValue(i + 1, converted(rows->value(sourceIndex[i]), kinds[i], to.dialect()));
        if (!insert.exec())
            return Result<qint64>::failure(QStringLiteral("%1, rij %2: %3")
                                               .arg(table.name)
                                               .arg(sql::toLong(rows->value(idIndex)))
                                               .arg(describeSqlError(insert.lastError())));
        ++copied;
    }
    // New rows continue after the highest copied key instead of colliding with it.
    if (to.dialect() == Dialect::PostgreSQL)
        if (Status s = to.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), "
                                              "COALESCE(MAX(id), 0) + 1, false) FROM %1")
                                   .arg(table.name));
            !s)
            return Result<qint64>::failure(s.error());
    return copied;
}

} // namespace

Result<CopyCounts> copyDatabase(const DatabaseSettings& from, const DatabaseSettings& to)
{
    using R = Result<CopyCounts>;
    auto source = DatabaseConnector::open(from, DatabaseConnector::OpenMode::ReadOnly);
    if (!source)
        return R::failure(source.error());
    // The source must be a whole version-29 installation with our additions.
    if (Status s =
            Status::from((*source)->scalar(QStringLiteral("SELECT COUNT(*) FROM uitmeldlink")));
        !s)
        return R::failure(
            QStringLiteral("De bron is geen bijgewerkte Taviro-database (start de console er eerst "
                           "eenmaal op): %1")
                .arg(s.error()));
    auto target = DatabaseConnector::open(to, DatabaseConnector::OpenMode::CreateNew);
    if (!target)
        return R::failure(target.error());
    CopyCounts counts;
    Status s;
    {
        Transaction tx(**target);
        s = tx.begin();
        QList<schema::TableSpec> tables = schema::version29Tables();
        tables.append(schema::specOf(mapping::uitmeldlink()));
        // E-mails still owed go along, so moving the installation loses none;
        // a source from before they were kept has none to give.
        if ((*source)->scalar(QStringLiteral("SELECT COUNT(*) FROM uitmeldmail")))
            tables.append(schema::specOf(mapping::uitmeldmail()));
        // So are the mails in the outbox, waiting or recently sent.
        if ((*source)->scalar(QStringLiteral("SELECT COUNT(*) FROM mailwachtrij")))
            tables.append(schema::mailOutboxTable());
        for (const schema::TableSpec& t : tables)
            if (s)
                s = (*target)->exec(schema::createTableSql(t, (*target)->dialect(), true));
        if (s)
            s = schema::createExtensions(**target);
        for (const schema::TableSpec& t : tables) {
            if (!s)
                break;
            auto n = copyTable(**source, **target, t);
            s = Status::from(n);
            if (n) {
                ++counts.tables;
                counts.rows += *n;
            }
        }
        // The escalation settings are columns of our own beside the
        // original ones, so the settings row's copy does not carry them; a
        // source from before they existed has escalation off.
        if (s) {
            if (auto esc = escalation::load(**source); esc)
                s = escalation::save(**target, *esc);
        }
        if (s)
            s = tx.commit();
    }
    if (!s) {
        const QString path = (*target)->databasePath();
        target->reset();
        if (to.dialect == Dialect::SQLite) {
            // A half-made file would be refused as "already there" next time.
            for (const char* suffix : {"", "-wal", "-shm"})
                QFile::remove(path + QLatin1String(suffix));
        }
        return R::failure(QStringLiteral("Kopiëren mislukt: %1").arg(s.error()));
    }
    return counts;
}

} // namespace taviro
