// taviro-db: makes and inspects Taviro databases for installers.
//   taviro-db create PATH --login NAME --password PW [--name NAME]
//   taviro-db create --demo PATH
//   taviro-db version PATH
//   taviro-db copy FROM TO
//   taviro-db mail PATH [--wachtend|--verzonden|--mislukt] [--aantal N]
//   taviro-db status [DATABASE]
#include "DatabaseCopy.h"
#include "DatabaseCreator.h"
#include "DemoInstallation.h"
#include "MailCommand.h"
#include "Repositories.h"
#include "SqlReportStore.h"
#include "StatusCommand.h"

#include <QSqlRecord>

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <sys/stat.h>

using namespace taviro;

namespace {

void say(const QString& text)
{
    std::fprintf(stdout, "%s\n", qPrintable(text));
}
void complain(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

int usage()
{
    complain(QStringLiteral("Gebruik:\n"
                            "  taviro-db create PAD --login NAAM --password WACHTWOORD [--name VOLLEDIGE_NAAM]\n"
                            "  taviro-db create --demo PAD\n"
                            "  taviro-db version PAD\n"
                            "  taviro-db report PAD OS-NUMMER FUNCTIE [OMSCHRIJVING] [--af]\n"
                            "  taviro-db copy VAN NAAR\n"
                            "  taviro-db mail PAD [--wachtend|--verzonden|--mislukt] [--aantal N]\n"
                            "  taviro-db status [PAD]\n"
                            "PAD is een SQLite-bestand of een postgresql://-adres."));
    return 2;
}

int create(QStringList args)
{
    bool demo = false;
    NewAccount account;
    QString path;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--demo"))
            demo = true;
        else if ((a == QLatin1String("--login") || a == QLatin1String("--password") || a == QLatin1String("--name"))
                 && !args.isEmpty()) {
            const QString v = args.takeFirst();
            (a == QLatin1String("--login") ? account.loginnaam
                                           : a == QLatin1String("--password") ? account.wachtwoord : account.naam) = v;
        } else if (!a.startsWith(QLatin1String("--")) && path.isEmpty())
            path = a;
        else
            return usage();
    }
    if (path.isEmpty())
        return usage();
    if (demo && account.loginnaam.isEmpty()) {
        account = {QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("Demo Centralist")};
    }
    if (account.loginnaam.isEmpty()) {
        complain(QStringLiteral("Geef met --login en --password de eerste gebruiker op."));
        return 2;
    }
    auto created = createDatabase(DatabaseSettings::fromText(path), account);
    if (!created) {
        complain(created.error());
        return 1;
    }
    if (demo) {
        if (Status s = addDemoInstallation(**created); !s) {
            complain(QStringLiteral("Kan de demogegevens niet toevoegen: %1").arg(s.error()));
            return 1;
        }
    }
    say(QStringLiteral("Database aangemaakt: %1").arg((*created)->databasePath()));
    say(QStringLiteral("Inloggen met gebruikersnaam '%1' en wachtwoord '%2'.").arg(account.loginnaam, account.wachtwoord));
    return 0;
}

int version(const QStringList& args)
{
    if (args.size() != 1)
        return usage();
    auto opened = DatabaseConnector::open(DatabaseSettings::fromText(args.first()),
                                          DatabaseConnector::OpenMode::ReadOnly);
    if (!opened) {
        complain(opened.error());
        return 1;
    }
    auto q = (*opened)->query(QStringLiteral("SELECT * FROM settings"));
    if (!q) {
        complain(QStringLiteral("Kan de instellingen niet lezen: %1").arg(q.error()));
        return 1;
    }
    if (!q->next()) {
        say(QStringLiteral("0 (geen instellingen)"));
        return 0;
    }
    const int column = q->record().indexOf(QStringLiteral("DatabaseVersion"));
    say(QString::number(column < 0 ? 0 : sql::toLong(q->value(column))));
    return 0;
}

// Stores one report as a receiver would: for trying the console and for
// installers checking a site's forwarding without a transmitter at hand.
int report(QStringList args)
{
    const bool off = args.removeAll(QStringLiteral("--af")) > 0;
    if (args.size() < 3 || args.size() > 4)
        return usage();
    auto opened = DatabaseConnector::open(DatabaseSettings::fromText(args[0]));
    if (!opened) {
        complain(opened.error());
        return 1;
    }
    const QDateTime now = QDateTime::currentDateTime();
    ReceivedReport r;
    r.melderAlias = args[1];
    r.receivedAt = now;
    ReceivedLine line;
    line.functie = args[2];
    line.omschrijving = args.value(3);
    line.flank = off ? 0 : 1;
    line.date = now;
    r.lines.append(line);
    auto stored = SqlReportStore(**opened).store(r);
    if (!stored) {
        complain(QStringLiteral("Melding niet opgeslagen: %1").arg(stored.error()));
        return 1;
    }
    say(QStringLiteral("Melding %1 opgeslagen.").arg(*stored));
    return 0;
}

// Moves an installation between a SQLite file and a shared PostgreSQL
// database, keys and all, while no console or service uses either.
int copyCommand(const QStringList& args)
{
    if (args.size() != 2)
        return usage();
    auto copied = copyDatabase(DatabaseSettings::fromText(args[0]), DatabaseSettings::fromText(args[1]));
    if (!copied) {
        complain(copied.error());
        return 1;
    }
    say(QStringLiteral("%1 rijen in %2 tabellen gekopieerd.").arg(copied->rows).arg(copied->tables));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // A database holds the operators', SMTP and POP3 passwords as typed and
    // the recipients' phone numbers: never readable outside the group.
    ::umask(S_IRWXO);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    if (command == QLatin1String("create"))
        return create(args);
    if (command == QLatin1String("report"))
        return report(args);
    if (command == QLatin1String("version"))
        return version(args);
    if (command == QLatin1String("copy"))
        return copyCommand(args);
    if (command == QLatin1String("mail"))
        return mailCommand(args);
    if (command == QLatin1String("status"))
        return statusCommand(args);
    return usage();
}
