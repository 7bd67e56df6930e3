#pragma once

#include "DatabaseConnector.h"
#include "Result.h"

namespace taviro {

struct NewAccount
{
    QString loginnaam;
    QString wachtwoord;
    QString naam;
};

// Makes a new, empty version-29 database with the settings row and one
// operator account, all in one transaction. Refuses an existing file.
Result<ConnectorPtr> createDatabase(const DatabaseSettings& settings, const NewAccount& account);

} // namespace taviro
