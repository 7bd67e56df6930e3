#pragma once

#include "Result.h"

#include <QString>
#include <QStringList>

namespace taviro {
class DatabaseConnector;
}

namespace taviro::mail {

// Before the outbox lived in the database, each mail sender kept its queue as
// JSON files in a folder of its own account. TAVIRO_MAIL_QUEUE when set,
// else "mailqueue" beside the database file (or in the user's data folder
// when the database is not a local file).
QString legacyQueueFolder(const QString& databaseText);

// Moves the mails still waiting in such a folder into the outbox, one
// transaction per file, and removes each file once its rows are committed.
// A kill in between imports the file again at the next start, which adds
// nothing: the rows carry the file's name as their key. Mails set aside in
// failed/ stay there for the administrator. Returns how many addresses were
// queued; `problems` gets a line per file that could not be read.
Result<int> importLegacyQueue(const QString& folder, const DatabaseConnector& conn, QStringList* problems);

} // namespace taviro::mail
