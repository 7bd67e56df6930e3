#include "Transaction.h"

#include "DatabaseConnector.h"

namespace taviro {

Transaction::Transaction(const DatabaseConnector& connector) : m_connector(connector) {}

Transaction::~Transaction()
{
    if (m_active)
        rollback();
}

Status Transaction::begin()
{
    const QString sql = m_connector.dialect() == Dialect::SQLite ? QStringLiteral("BEGIN IMMEDIATE")
                                                                 : QStringLiteral("BEGIN");
    Status s = m_connector.exec(sql);
    m_active = s.ok();
    return s;
}

Status Transaction::commit()
{
    if (!m_active)
        return Status::failure(QStringLiteral("geen transactie actief"));
    Status s = m_connector.exec(QStringLiteral("COMMIT"));
    if (s.ok())
        m_active = false;
    else
        rollback();
    return s;
}

void Transaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    (void)m_connector.exec(QStringLiteral("ROLLBACK"));
}

} // namespace taviro
