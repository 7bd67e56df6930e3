#include "LegacyDatabase.h"

#include "DatabaseConnector.h"
#include "Schema.h"

#include <QStringList>

namespace taviro::test {

namespace {

struct Added
{
    int version;
    const char* table;
    const char* column;
};

// What each upgrade block adds, written out on its own so a slip in the
// upgrade's list is not copied into the test's picture of an old database.
constexpr Added kAdded[] = {
    {26, "settings", "DatabaseVersion"},     {26, "settings", "OntvangstServer"},
    {26, "settings", "OntvangstPort"},       {26, "settings", "OntvangstUserName"},
    {26, "settings", "OntvangstPassword"},   {26, "settings", "OntvangstTimeout"},
    {26, "settings", "OntvangstInterval"},   {26, "settings", "ElkeMeldingEmail"},
    {26, "settings", "OnbemandeMeldingEmail"}, {26, "settings", "MailServerPort"},
    {26, "ontvangers", "UseSMS"},            {26, "ontvangers", "UseEmail"},
    {27, "alarmen", "deleted"},              {27, "settings", "zaterdag"},
    {27, "settings", "zondag"},              {27, "settings", "OnbemandRoosterActief"},
    {27, "settings", "AutoBemandNaInloggen"}, {27, "settings", "AutoOnbemandNaUitloggen"},
    {28, "comports", "databits"},            {28, "comports", "parity"},
    {28, "comports", "stopbits"},            {29, "comports", "is_gsm"},
};

} // namespace

Status createLegacyDatabase(const QString& path, int version, bool withSettingsRow)
{
    auto opened = DatabaseConnector::open(DatabaseSettings::fromText(path), DatabaseConnector::OpenMode::CreateNew);
    if (!opened)
        return Status::failure(opened.error());
    const DatabaseConnector& c = **opened;
    // An old database in the old rollback journal, as the older consoles left it.
    (void)c.scalar(QStringLiteral("PRAGMA journal_mode=DELETE"));
    for (const schema::TableSpec& t : schema::version29Tables()) {
        schema::TableSpec old = t;
        old.columns.removeIf([&](const schema::ColumnSpec& col) {
            for (const Added& a : kAdded)
                if (a.version > version && t.name == QLatin1String(a.table)
                    && col.name == QLatin1String(a.column))
                    return true;
            return false;
        });
        if (Status s = c.exec(schema::createTableSql(old, Dialect::SQLite)); !s)
            return s;
    }
    auto run = [&](const char* sql, QVariantList binds = {}) { return c.exec(QString::fromUtf8(sql), binds); };
    if (withSettingsRow) {
        if (Status s = run("INSERT INTO settings (maxpogingen, mailsubject, uitmeldcc, uitmeldccmail, mailserver) "
                           "VALUES (3, 'Taviro Alarm Melding', -1, 'wacht@example.nl', 'smtp.example.nl')");
            !s)
            return s;
        if (version >= 26)
            if (Status s = run("UPDATE settings SET DatabaseVersion = ?", {version}); !s)
                return s;
    }
    if (Status s = run("INSERT INTO ontvangers (alias, naam, methode1) VALUES ('SMS', 'Sms Ontvanger', 1), "
                       "('MAIL', 'Mail Ontvanger', 2), ('GEEN', 'Geen Methode', 0)");
        !s)
        return s;
    if (Status s = run("INSERT INTO alarmen (melder_id, functie, omschrijving) VALUES (1, '01', 'Inbraak')"); !s)
        return s;
    return run("INSERT INTO comports (number, designation, baudrate, string, timeout) VALUES (2, 2, 9600, 'ATZ', 1)");
}

} // namespace taviro::test
