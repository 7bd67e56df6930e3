#include "OutboxMails.h"

#include "DatabaseConnector.h"

#include <algorithm>

namespace taviro::test {

QList<outbox::OutboxRow> outboxMails(const DatabaseConnector& conn)
{
    auto rows = outbox::listRows(conn, -1, 100000);
    if (!rows)
        qFatal("outbox: %s", qPrintable(rows.error()));
    QList<outbox::OutboxRow> out = *rows;
    std::reverse(out.begin(), out.end());
    return out;
}

} // namespace taviro::test
