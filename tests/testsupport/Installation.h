#pragma once

#include "DatabaseConnector.h"
#include "Rows.h"

#include <functional>

namespace taviro::test {

// Builds the configuration a dispatch test needs, row by row, on a database.
// Every helper returns the new key; a failed insert fails the test through QVERIFY
// in the caller's check of ok().
class Installation
{
public:
    explicit Installation(const DatabaseConnector& conn) : m_conn(conn) {}

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }

    qint64 recipient(const QString& naam, const QString& mobiel, const QString& email, bool sms,
                     bool mail);
    // Editor defaults: blocks at 8:00, 16:30, 24:00, second block in use.
    WeekPlanning weekTemplate(const QString& alias) const;
    qint64 week(const WeekPlanning& w);
    qint64 year(const QString& alias, qint64 everyWeek,
                std::function<void(JaarPlanning&)> adjust = {});
    qint64 transmitter(const QString& alias, const QString& naam, qint64 rule, qint64 weekId,
                       qint64 yearId, const QString& adres = QStringLiteral("Stationsweg 1"),
                       const QString& plaats = QStringLiteral("Baarn"));
    qint64 point(qint64 melderId, const QString& functie, const QString& omschrijving,
                 qint64 rule = 0, qint64 roosterId = 0, bool uurs24 = false);
    void settings(const std::function<void(Settings&)>& change);

private:
    const DatabaseConnector& m_conn;
    QString m_error;
};

} // namespace taviro::test
