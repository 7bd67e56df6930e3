#include "Repositories.h"

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
    // A deleted account is refused exactly like a wrong password: whoever left
    // must not acknowledge alarms under a name that is no longer kept.
    return firstOf(list(QStringLiteral("WHERE loginnaam = ? AND wachtwoord = ? AND deleted = ? ORDER BY id"),
                        {sql::textValue(loginnaam), sql::textValue(wachtwoord), sql::boolValue(false)}));
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
