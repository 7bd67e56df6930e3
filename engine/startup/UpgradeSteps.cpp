#include "UpgradeSteps.h"

#include "SqlValues.h"

namespace taviro::upgrade {

namespace {

QVariant yes()
{
    return sql::boolValue(true);
}
QVariant no()
{
    return sql::boolValue(false);
}
QVariant num(int n)
{
    return QVariant(n);
}
QVariant text(const char* s)
{
    return sql::textValue(QString::fromUtf8(s));
}

Step plain(const char* statement, QVariantList binds = {})
{
    return {QString::fromLatin1(statement), std::move(binds)};
}

// Text columns are TEXT of any length in both databases: a size limit would
// only make a long address fail where the old database silently accepted it.
Step addTextColumn(const char* table, const char* column)
{
    return {QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT").arg(QLatin1String(table), QLatin1String(column)), {}};
}

// SQLite cannot add a NOT NULL column without a default; the UPDATE that
// follows each of these sets the real value for the rows already there.
Step addRequiredColumn(const char* table, const char* column, const char* type, const char* dflt)
{
    return {QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3 NOT NULL DEFAULT %4")
                .arg(QLatin1String(table), QLatin1String(column), QLatin1String(type), QLatin1String(dflt)),
            {}};
}

} // namespace

QList<Block> blocks(Dialect dialect)
{
    Block v26{26,
              {plain("ALTER TABLE settings ADD COLUMN DatabaseVersion INTEGER"),
               addTextColumn("settings", "OntvangstServer"),
               plain("ALTER TABLE settings ADD COLUMN OntvangstPort INTEGER"),
               addTextColumn("settings", "OntvangstUserName"),
               addTextColumn("settings", "OntvangstPassword"),
               plain("ALTER TABLE settings ADD COLUMN OntvangstTimeout INTEGER"),
               plain("ALTER TABLE settings ADD COLUMN OntvangstInterval INTEGER"),
               addTextColumn("settings", "ElkeMeldingEmail"),
               addTextColumn("settings", "OnbemandeMeldingEmail"),
               plain("ALTER TABLE settings ADD COLUMN MailServerPort INTEGER"),
               plain("UPDATE settings SET OntvangstPort = ?, OntvangstTimeout = ?, OntvangstInterval = ?, "
                     "MailServerPort = ?, OntvangstServer = ?, OntvangstUserName = ?, OntvangstPassword = ?, "
                     "ElkeMeldingEmail = ?, OnbemandeMeldingEmail = ?",
                     {num(110), num(60), num(5), num(25), text(""), text(""), text(""), text(""), text("")}),
               plain("UPDATE settings SET mailsubject = ? WHERE mailsubject = ?",
                     {text("Taviro %MELDER% Alarm Melding"), text("Taviro Alarm Melding")}),
               // "<> false" also catches the -1 that older programs wrote for true.
               plain("UPDATE settings SET OnbemandeMeldingEmail = uitmeldccmail WHERE uitmeldcc <> ?", {no()}),
               addRequiredColumn("ontvangers", "UseSMS", "BOOLEAN", "FALSE"),
               addRequiredColumn("ontvangers", "UseEmail", "BOOLEAN", "FALSE")}};
    // email becomes a memo; SQLite's TEXT already holds any length.
    if (dialect == Dialect::PostgreSQL)
        v26.steps << plain("ALTER TABLE ontvangers ALTER COLUMN email TYPE TEXT");
    v26.steps << plain("UPDATE ontvangers SET UseSMS = ?, UseEmail = ?", {no(), no()})
              << plain("UPDATE ontvangers SET UseSMS = ? WHERE methode1 = ?", {yes(), num(1)})
              << plain("UPDATE ontvangers SET UseEmail = ? WHERE methode1 = ?", {yes(), num(2)});

    Block v27{27,
              {addRequiredColumn("alarmen", "deleted", "BOOLEAN", "FALSE"),
               plain("UPDATE alarmen SET deleted = ?", {no()}),
               addTextColumn("settings", "zaterdag"),
               addTextColumn("settings", "zondag"),
               addRequiredColumn("settings", "OnbemandRoosterActief", "BOOLEAN", "FALSE"),
               addRequiredColumn("settings", "AutoBemandNaInloggen", "BOOLEAN", "FALSE"),
               addRequiredColumn("settings", "AutoOnbemandNaUitloggen", "BOOLEAN", "FALSE"),
               plain("UPDATE settings SET OnbemandRoosterActief = ?, AutoBemandNaInloggen = ?, "
                     "AutoOnbemandNaUitloggen = ?, zaterdag = ?, zondag = ?",
                     {yes(), yes(), yes(), text(""), text("")})}};

    Block v28{28,
              {addRequiredColumn("comports", "databits", "INTEGER", "0"),
               addTextColumn("comports", "parity"),
               addRequiredColumn("comports", "stopbits", "INTEGER", "0"),
               plain("UPDATE comports SET databits = ?, stopbits = ?, parity = ?", {num(8), num(1), text("N")})}};

    Block v29{29,
              {addRequiredColumn("comports", "is_gsm", "BOOLEAN", "FALSE"),
               plain("UPDATE comports SET is_gsm = ?", {no()})}};

    return {v26, v27, v28, v29};
}

} // namespace taviro::upgrade
