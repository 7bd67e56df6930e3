#include "SchemaExtensions.h"

#include "ChangeCounter.h"
#include "DatabaseConnector.h"
#include "EscalationSettings.h"
#include "Mappings.h"
#include "Schema.h"
#include "Transaction.h"

#include <QSqlDatabase>
#include <QSqlRecord>

namespace taviro::schema {

namespace {

struct IndexSpec
{
    const char* name;
    const char* table;
    const char* columns;
};

// Each serves a join or a filter the console runs on every report or tick.
constexpr IndexSpec kIndexes[] = {
    {"ix_meldindex_melding", "meldindex", "melding_id"},
    {"ix_meldindex_uitmeld", "meldindex", "uitmeld_id"},
    {"ix_meldingen_show_seen", "meldingen", "show, seen"},
    {"ix_uitmeld_done", "uitmeld", "done, id"},
    {"ix_uitmeld_repeat", "uitmeld", "uitmeldtype, done, bevestiger"},
    {"ix_uitmeld_ontvanger", "uitmeld", "ontvanger_id"},
    {"ix_alarmen_melder", "alarmen", "melder_id"},
    {"ix_alarmen_melder_functie", "alarmen", "melder_id, functie"},
    {"ix_melders_alias", "melders", "alias"},
    {"ix_uitmeldlink_uitmeld", "uitmeldlink", "uitmeld_id"},
    {"ix_uitmeldlink_meldindex", "uitmeldlink", "meldindex_id"},
    {"ix_uitmeldclaim_uitmeld", "uitmeldclaim", "uitmeld_id"},
    {"ix_uitmeldmail_uitmeld", "uitmeldmail", "uitmeld_id"},
    {"ix_uitmeldretry_uitmeld", "uitmeldretry", "uitmeld_id"},
    {"ix_meldingsleutel_ontvangen", "meldingsleutel", "ontvangen"},
    {"ix_uitmeldverzonden_uitmeld", "uitmeldverzonden", "uitmeld_id, kwartier"},
    {"ix_mailwachtrij_wacht", "mailwachtrij", "status, volgende"},
    {"ix_mailwachtrij_uitmeld", "mailwachtrij", "uitmeld_id"},
    {"ix_escalatieuitmeld_melding", "escalatieuitmeld", "melding_id"},
};

// Keys: a second workstation's insert of the same row does nothing or fails.
constexpr IndexSpec kUniqueIndexes[] = {
    // One row per thing counted, so two stations bumping a counter that
    // another program removed cannot each start one of their own.
    {"ix_wijzigteller_naam", "wijzigteller", "naam"},
    // Two stations that take the same repeat at once: the second one's
    // report fails as a whole and the transmitter, without its
    // acknowledgement, calls again and is recognised.
    {"ix_meldingsleutel_sleutel", "meldingsleutel", "sleutel"},
    // Each periodic duty of the room is done once per slot.
    {"ix_taakslot_taak", "taakslot", "taak, slot"},
    // One mail per purpose and address, however often the decision is replayed.
    {"ix_mailwachtrij_sleutel", "mailwachtrij", "sleutel, adres"},
    // Each escalation level once per report for the whole room, whichever
    // workstation decides it first.
    {"ix_escalatie_sleutel", "escalatie", "melding_id, niveau"},
    {"ix_escalatieuitmeld_uitmeld", "escalatieuitmeld", "uitmeld_id"},
    // A console and a station on one machine share its name; two of a kind may not.
    {"ix_werkplek_naam", "werkplek", "naam, soort"},
};

Status createIndex(const DatabaseConnector& conn, const IndexSpec& ix, bool unique)
{
    QStringList cols;
    for (const QString& c : QString::fromLatin1(ix.columns).split(QStringLiteral(", ")))
        cols << conn.id(c);
    return conn.exec(QStringLiteral("CREATE %1INDEX IF NOT EXISTS %2 ON %3 (%4)")
                         .arg(unique ? QStringLiteral("UNIQUE ") : QString(), QLatin1String(ix.name),
                              QLatin1String(ix.table), cols.join(QStringLiteral(", "))));
}

// Columns our own tables gained after their first release. A table an
// earlier release created lacks them, and every workstation of the room must
// be able to write and read them.
QList<std::pair<QString, ColumnSpec>> lateColumns()
{
    return {{QStringLiteral("werkplek"), {QStringLiteral("gsmklaar"), ColumnKind::Bool}},
            {QStringLiteral("uitmeldretry"), {QStringLiteral("station"), ColumnKind::Text}}};
}

Status addLateColumns(const DatabaseConnector& conn)
{
    for (const auto& [table, column] : lateColumns()) {
        QString sql = QStringLiteral("ALTER TABLE %1 ADD COLUMN ").arg(table);
        if (conn.dialect() == Dialect::PostgreSQL)
            sql += QStringLiteral("IF NOT EXISTS "); // two stations starting at once both get here
        else if (conn.database().record(table).contains(column.name))
            continue; // SQLite: the write lock of our transaction keeps the check true
        if (Status s = conn.exec(sql + columnDefinition(column, conn.dialect())); !s)
            return s;
    }
    return {};
}

// A table made by an older version of ours gets the columns added since.
Status addMissingColumns(const DatabaseConnector& conn, const TableSpec& t)
{
    const QSqlRecord existing = conn.database().record(t.name);
    for (const ColumnSpec& c : t.columns) {
        if (existing.contains(c.name) || existing.contains(c.name.toLower()))
            continue;
        QString sql = QStringLiteral("ALTER TABLE %1 ADD COLUMN ").arg(t.name);
        if (conn.dialect() == Dialect::PostgreSQL)
            sql += QStringLiteral("IF NOT EXISTS "); // two stations starting at once both get here
        sql += columnDefinition(c, conn.dialect());
        if (Status s = conn.exec(sql); !s)
            return s;
    }
    return {};
}

// Two stations filling the old-style links at once used to insert the same
// pair twice, so the line appeared twice in the message. The pairs are made
// unique; doubles left by that are removed first, keeping the oldest.
Status uniqueDispatchLinks(const DatabaseConnector& conn)
{
    const QString exists = conn.dialect() == Dialect::PostgreSQL
                               ? QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE indexname = ?")
                               : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = ?");
    auto made = conn.scalar(exists, {QStringLiteral("ix_uitmeldlink_paar")});
    if (!made)
        return Status::failure(made.error());
    if (made->toLongLong() > 0)
        return {};
    if (Status s = conn.exec(QStringLiteral("DELETE FROM uitmeldlink WHERE id NOT IN (SELECT MIN(id) FROM "
                                            "uitmeldlink GROUP BY uitmeld_id, meldindex_id)"));
        !s)
        return s;
    return conn.exec(QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS ix_uitmeldlink_paar "
                                    "ON uitmeldlink (uitmeld_id, meldindex_id)"));
}

// Escalation: one row per report and level decided, and which dispatches
// each level created.
TableSpec escalatie()
{
    return {QStringLiteral("escalatie"),
            {{QStringLiteral("melding_id"), ColumnKind::Long},
             {QStringLiteral("niveau"), ColumnKind::Long},
             {QStringLiteral("besloten"), ColumnKind::Date},
             {QStringLiteral("nietbevestigd"), ColumnKind::Text},
             {QStringLiteral("ontvangers"), ColumnKind::Text}}};
}

TableSpec escalatieuitmeld()
{
    return {QStringLiteral("escalatieuitmeld"),
            {{QStringLiteral("uitmeld_id"), ColumnKind::Long},
             {QStringLiteral("melding_id"), ColumnKind::Long},
             {QStringLiteral("niveau"), ColumnKind::Long}}};
}

} // namespace

TableSpec mailOutboxTable()
{
    using K = ColumnKind;
    // Moments are whole seconds by the database server's clock, like leases
    // and heartbeats: every workstation's sender compares them with the same clock.
    return {QStringLiteral("mailwachtrij"),
            {{QStringLiteral("sleutel"), K::Text},
             {QStringLiteral("uitmeld_id"), K::Long},
             {QStringLiteral("adres"), K::Text},
             {QStringLiteral("naam"), K::Text},
             {QStringLiteral("onderwerp"), K::Text},
             {QStringLiteral("inhoud"), K::Text},
             {QStringLiteral("bijlagenaam"), K::Text},
             {QStringLiteral("bijlage"), K::Text},
             {QStringLiteral("status"), K::Long},
             {QStringLiteral("pogingen"), K::Long},
             {QStringLiteral("reden"), K::Text},
             {QStringLiteral("aangemaakt"), K::Long},
             {QStringLiteral("volgende"), K::Long},
             {QStringLiteral("eerstefout"), K::Long},
             {QStringLiteral("verzonden"), K::Long},
             {QStringLiteral("claim"), K::Text},
             {QStringLiteral("claimtot"), K::Long}}};
}

Status createExtensions(const DatabaseConnector& conn)
{
    for (const TableSpec& t : {specOf(mapping::uitmeldlink()), specOf(mapping::uitmeldclaim()),
                               specOf(mapping::uitmeldmail()), specOf(mapping::uitmeldretry()),
                               specOf(mapping::meldingsleutel()), specOf(mapping::werkplek()),
                               specOf(mapping::wijzigteller()), specOf(mapping::taakslot()),
                               specOf(mapping::uitmeldverzonden()), escalatie(), escalatieuitmeld(),
                               mailOutboxTable()}) {
        if (Status s = conn.exec(createTableSql(t, conn.dialect(), true)); !s)
            return s;
        if (Status s = addMissingColumns(conn, t); !s)
            return s;
    }
    if (Status s = addLateColumns(conn); !s)
        return s;
    for (const IndexSpec& ix : kIndexes)
        if (Status s = createIndex(conn, ix, false); !s)
            return s;
    for (const IndexSpec& ix : kUniqueIndexes)
        if (Status s = createIndex(conn, ix, true); !s)
            return s;
    if (Status s = changecounter::ensure(conn, changecounter::kRoosters); !s)
        return s;
    if (Status s = uniqueDispatchLinks(conn); !s)
        return s;
    return escalation::addColumns(conn);
}

Status ensureExtensions(const DatabaseConnector& conn)
{
    Transaction tx(conn);
    if (Status s = tx.begin(); !s)
        return s;
    if (Status s = createExtensions(conn); !s)
        return s;
    return tx.commit();
}

} // namespace taviro::schema
