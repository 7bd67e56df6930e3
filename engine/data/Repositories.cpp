#include "Repositories.h"

#include "PasswordHash.h"

namespace taviro {

namespace {

template <class Row>
Result<std::optional<Row>> firstOf(const Result<QList<Row>>& rows)
{
    if (!rows)
        return Result<std::optional<Row>>::failure(rows.error());
    if (rows->isEmpty())
        return std::optional<Row>();
    return std::optional<Row>(rows->first());
}

} // namespace

Result<std::optional<Melder>> MelderRepository::findByAlias(const QString& alias) const
{
    return firstOf(list(QStringLiteral("WHERE alias = ? ORDER BY id"), {sql::textValue(alias)}));
}

Result<QList<Alarm>> AlarmRepository::forMelder(qint64 melderId) const
{
    return list(QStringLiteral("WHERE melder_id = ? AND deleted = ? ORDER BY functie"),
                {sql::keyValue(melderId), sql::boolValue(false)});
}

Result<std::optional<Alarm>> AlarmRepository::findByFunctie(qint64 melderId, const QString& functie) const
{
    return firstOf(list(QStringLiteral("WHERE melder_id = ? AND functie = ? ORDER BY deleted, id"),
                        {sql::keyValue(melderId), sql::textValue(functie)}));
}

Result<std::optional<Gebruiker>> GebruikerRepository::checkLogin(const QString& loginnaam,
                                                                 const QString& wachtwoord) const
{
    using R = Result<std::optional<Gebruiker>>;
    // A deleted account is refused exactly like a wrong password: whoever left
    // must not acknowledge alarms under a name that is no longer kept.
    auto candidates = list(QStringLiteral("WHERE loginnaam = ? AND deleted = ? ORDER BY id"),
                           {sql::textValue(loginnaam), sql::boolValue(false)});
    if (!candidates)
        return R::failure(candidates.error());
    for (Gebruiker& g : *candidates) {
        if (!password::matches(wachtwoord, g.wachtwoord))
            continue;
        if (!password::isHash(g.wachtwoord)) {
            // Written as typed by another program: from now on only its hash
            // is kept. Conditional, so a second workstation converting the
            // same row at the same moment changes nothing twice; a failure
            // leaves the login valid and the conversion for next time.
            const QString hashed = password::hash(wachtwoord);
            if (!hashed.isEmpty()
                && m_conn.exec(QStringLiteral("UPDATE gebruikers SET wachtwoord = ? WHERE id = ? AND wachtwoord = ?"),
                               {sql::textValue(hashed), sql::keyValue(g.id), sql::textValue(g.wachtwoord)}))
                g.wachtwoord = hashed;
        }
        return std::optional<Gebruiker>(g);
    }
    return std::optional<Gebruiker>();
}

Status GebruikerRepository::hashPlainPasswords() const
{
    auto rows = m_conn.query(QStringLiteral("SELECT id, wachtwoord FROM gebruikers"));
    if (!rows)
        return Status::failure(rows.error());
    QList<std::pair<qint64, QString>> plain;
    while (rows->next())
        if (const QString stored = sql::toText(rows->value(1)); !password::isHash(stored))
            plain.append({sql::toLong(rows->value(0)), stored});
    rows->finish();
    for (const auto& [id, stored] : plain) {
        const QString hashed = password::hash(stored);
        if (hashed.isEmpty())
            return Status::failure(QStringLiteral("het systeem kan geen wachtwoorden versleutelen (yescrypt)"));
        if (Status s = m_conn.exec(QStringLiteral("UPDATE gebruikers SET wachtwoord = ? WHERE id = ? AND wachtwoord = ?"),
                                   {sql::textValue(hashed), sql::keyValue(id), sql::textValue(stored)});
            !s)
            return s;
    }
    return {};
}

Result<QList<MeldIndex>> MeldIndexRepository::forMelding(qint64 meldingId) const
{
    return list(QStringLiteral("WHERE melding_id = ? ORDER BY id"), {sql::keyValue(meldingId)});
}

Result<QList<UitmeldLink>> UitmeldLinkRepository::forUitmeld(qint64 uitmeldId) const
{
    return list(QStringLiteral("WHERE uitmeld_id = ? ORDER BY meldindex_id"), {sql::keyValue(uitmeldId)});
}

Result<QList<ComPort>> ComPortRepository::withDesignation(qint64 designation) const
{
    return list(QStringLiteral("WHERE designation = ? ORDER BY number"), {sql::keyValue(designation)});
}

Status ComPortRepository::remove(qint64 id) const
{
    return m_conn.exec(QStringLiteral("DELETE FROM comports WHERE id = ?"), {sql::keyValue(id)});
}

Result<std::optional<Settings>> SettingsRepository::load() const
{
    return firstOf(list(QStringLiteral("ORDER BY id")));
}

} // namespace taviro
