#include "DatabaseCreator.h"

#include "PasswordHash.h"

#include "Repositories.h"
#include "Schema.h"
#include "SettingsDefaults.h"
#include "Transaction.h"

#include <QFile>

namespace taviro {

Result<ConnectorPtr> createDatabase(const DatabaseSettings& settings, const NewAccount& account)
{
    using R = Result<ConnectorPtr>;
    if (account.loginnaam.isEmpty())
        return R::failure(QStringLiteral("Geef een gebruikersnaam op voor de eerste gebruiker."));
    auto opened = DatabaseConnector::open(settings, DatabaseConnector::OpenMode::CreateNew);
    if (!opened)
        return opened;
    ConnectorPtr conn = std::move(opened.value());
    auto failed = [&](const QString& why) {
        const QString path = conn->databasePath();
        conn.reset();
        // A half-made file would be refused as "already there" next time.
        if (settings.dialect == Dialect::SQLite) {
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
        }
        return R::failure(QStringLiteral("Kan de database niet aanmaken: %1").arg(why));
    };
    if (Status s = schema::createVersion29(*conn); !s)
        return failed(s.error());

    Transaction tx(*conn);
    if (Status s = tx.begin(); !s)
        return failed(s.error());
    if (auto r = SettingsRepository(*conn).insert(defaultSettings()); !r)
        return failed(r.error());
    Gebruiker g;
    g.alias = account.loginnaam;
    g.naam = account.naam.isEmpty() ? account.loginnaam : account.naam;
    g.loginnaam = account.loginnaam;
    g.wachtwoord = password::hash(account.wachtwoord);
    if (g.wachtwoord.isEmpty())
        return failed(QStringLiteral("het systeem kan geen wachtwoorden versleutelen (yescrypt)"));
    if (auto r = GebruikerRepository(*conn).insert(g); !r)
        return failed(r.error());
    if (Status s = tx.commit(); !s)
        return failed(s.error());
    return R(std::move(conn));
}

} // namespace taviro
