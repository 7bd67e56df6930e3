#pragma once

#include "MailOutbox.h"

#include <QList>

namespace taviro {
class DatabaseConnector;
}

namespace taviro::test {

// Every row of the outbox, oldest first: what the engine owes by mail.
QList<outbox::OutboxRow> outboxMails(const DatabaseConnector& conn);

} // namespace taviro::test
