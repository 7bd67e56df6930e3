#include "WorkNotice.h"

#include "DatabaseConnector.h"

#include <QSqlDriver>

namespace taviro {

namespace {
const QString kChannel = QStringLiteral("taviro_werk");
}

Status announceWork(const DatabaseConnector& conn)
{
    if (conn.dialect() != Dialect::PostgreSQL)
        return {};
    return conn.exec(QStringLiteral("NOTIFY ") + kChannel);
}

WorkListener::WorkListener(const DatabaseConnector& conn, QObject* parent) : QObject(parent), m_conn(conn)
{
    ensure();
}

void WorkListener::ensure()
{
    if (m_conn.dialect() != Dialect::PostgreSQL || m_conn.lost() || m_generation == m_conn.generation())
        return;
    m_generation = m_conn.generation();
    QSqlDriver* driver = m_conn.database().driver();
    m_listening = driver && driver->subscribeToNotification(kChannel);
    if (m_listening)
        connect(driver, &QSqlDriver::notification, this, &WorkListener::workAnnounced, Qt::UniqueConnection);
}

} // namespace taviro
