#pragma once

#include "ChangeCounter.h"
#include "Mappings.h"
#include "Table.h"

#include <optional>

namespace taviro {

// Tables whose rows are never removed: deleting sets `deleted`, lists filter
// on it, and lookups by key still find the row so old reports resolve.
template <class Row>
class SoftDeleteTable : public Table<Row>
{
public:
    SoftDeleteTable(const DatabaseConnector& c, const RowMapping<Row>& m) : Table<Row>(c, m), m_conn(c), m_table(m.table) {}

    Result<QList<Row>> listActive(const QString& orderBy = QStringLiteral("alias")) const
    {
        return this->list(QStringLiteral("WHERE deleted = ? ORDER BY ") + orderBy, {sql::boolValue(false)});
    }
    Status softDelete(qint64 id) const
    {
        return m_conn.exec(QStringLiteral("UPDATE %1 SET deleted = ? WHERE id = ?").arg(m_table),
                           {sql::boolValue(true), QVariant::fromValue(id)});
    }

private:
    const DatabaseConnector& m_conn;
    QString m_table;
};

class MelderRepository : public SoftDeleteTable<Melder>
{
public:
    explicit MelderRepository(const DatabaseConnector& c) : SoftDeleteTable(c, mapping::melders()), m_conn(c) {}
    // The transmitter with this number (alias), deleted ones included, first by key.
    Result<std::optional<Melder>> findByAlias(const QString& alias) const;

private:
    const DatabaseConnector& m_conn;
};

class AlarmRepository : public SoftDeleteTable<Alarm>
{
public:
    explicit AlarmRepository(const DatabaseConnector& c) : SoftDeleteTable(c, mapping::alarmen()) {}
    Result<QList<Alarm>> forMelder(qint64 melderId) const;
    Result<std::optional<Alarm>> findByFunctie(qint64 melderId, const QString& functie) const;
};

class OntvangerRepository : public SoftDeleteTable<Ontvanger>
{
public:
    explicit OntvangerRepository(const DatabaseConnector& c) : SoftDeleteTable(c, mapping::ontvangers()) {}
};

// The schedules every station keeps in memory: each write also bumps the
// schedules' change counter, so the other stations reload before their next
// intake. Run a write inside the transaction of the save it belongs to.
template <class Row>
class ScheduleTable : public SoftDeleteTable<Row>
{
public:
    ScheduleTable(const DatabaseConnector& c, const RowMapping<Row>& m) : SoftDeleteTable<Row>(c, m), m_conn(c) {}

    Result<qint64> insert(const Row& row) const
    {
        auto key = SoftDeleteTable<Row>::insert(row);
        if (!key)
            return key;
        if (Status s = changecounter::bump(m_conn, changecounter::kRoosters); !s)
            return Result<qint64>::failure(s.error());
        return key;
    }
    Status update(const Row& row) const
    {
        Status s = SoftDeleteTable<Row>::update(row);
        return s ? changecounter::bump(m_conn, changecounter::kRoosters) : s;
    }
    Status softDelete(qint64 id) const
    {
        Status s = SoftDeleteTable<Row>::softDelete(id);
        return s ? changecounter::bump(m_conn, changecounter::kRoosters) : s;
    }

private:
    const DatabaseConnector& m_conn;
};

class WeekPlanningRepository : public ScheduleTable<WeekPlanning>
{
public:
    explicit WeekPlanningRepository(const DatabaseConnector& c) : ScheduleTable(c, mapping::weekplanningen()) {}
};

class JaarPlanningRepository : public ScheduleTable<JaarPlanning>
{
public:
    explicit JaarPlanningRepository(const DatabaseConnector& c) : ScheduleTable(c, mapping::jaarplanningen()) {}
};

class GebruikerRepository : public SoftDeleteTable<Gebruiker>
{
public:
    explicit GebruikerRepository(const DatabaseConnector& c) : SoftDeleteTable(c, mapping::gebruikers()), m_conn(c) {}
    // The live account with this login name whose stored password (a hash, or
    // plain text from another program) `wachtwoord` matches. A plain-text
    // password that matches is replaced by its hash.
    Result<std::optional<Gebruiker>> checkLogin(const QString& loginnaam, const QString& wachtwoord) const;
    // Replaces every password still kept as typed by its hash (at an upgrade).
    Status hashPlainPasswords() const;

private:
    const DatabaseConnector& m_conn;
};

class MeldingRepository : public Table<Melding>
{
public:
    explicit MeldingRepository(const DatabaseConnector& c) : Table(c, mapping::meldingen()) {}
};

class MeldIndexRepository : public Table<MeldIndex>
{
public:
    explicit MeldIndexRepository(const DatabaseConnector& c) : Table(c, mapping::meldindex()) {}
    Result<QList<MeldIndex>> forMelding(qint64 meldingId) const;
};

class UitmeldRepository : public Table<Uitmeld>
{
public:
    explicit UitmeldRepository(const DatabaseConnector& c) : Table(c, mapping::uitmeld()) {}
};

class UitmeldLinkRepository : public Table<UitmeldLink>
{
public:
    explicit UitmeldLinkRepository(const DatabaseConnector& c) : Table(c, mapping::uitmeldlink()) {}
    Result<QList<UitmeldLink>> forUitmeld(qint64 uitmeldId) const;
};

class ComPortRepository : public Table<ComPort>
{
public:
    explicit ComPortRepository(const DatabaseConnector& c) : Table(c, mapping::comports()), m_conn(c) {}
    Result<QList<ComPort>> withDesignation(qint64 designation) const;
    // Serial-port rows are the one thing removed for real.
    Status remove(qint64 id) const;

private:
    const DatabaseConnector& m_conn;
};

class SettingsRepository : public Table<Settings>
{
public:
    explicit SettingsRepository(const DatabaseConnector& c) : Table(c, mapping::settings()) {}
    // The settings row; std::nullopt when the table is empty.
    Result<std::optional<Settings>> load() const;
};

} // namespace taviro
