// taviro-db: makes and inspects Taviro databases for installers.
//   taviro-db create PATH --login NAME [--name NAME] [--password-file FILE|-]
//   taviro-db create --demo PATH
//   taviro-db version PATH
//   taviro-db report PATH TRANSMITTER FUNCTION [DESCRIPTION] [--af]
//   taviro-db copy FROM TO
//   taviro-db mail PATH [--wachtend|--verzonden|--mislukt] [--aantal N]
//   taviro-db status [DATABASE]
// Passwords never come from the command line: a prompt, a file or standard
// input; a postgresql:// URL is best given without one (~/.pgpass).
#include "ArgumentMemory.h"
#include "DatabaseCopy.h"
#include "DatabaseCreator.h"
#include "DemoInstallation.h"
#include "MailCommand.h"
#include "PasswordInput.h"
#include "Repositories.h"
#include "SqlReportStore.h"
#include "StatusCommand.h"

#include <QSqlRecord>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

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
                            "  taviro-db create PAD --login NAAM [--name VOLLEDIGE_NAAM] [--password-file BESTAND|-]\n"
                            "  taviro-db create --demo PAD\n"
                            "  taviro-db version PAD\n"
                            "  taviro-db report PAD OS-NUMMER FUNCTIE [OMSCHRIJVING] [--af]\n"
                            "  taviro-db copy VAN NAAR\n"
                            "  taviro-db mail PAD [--wachtend|--verzonden|--mislukt] [--aantal N]\n"
                            "  taviro-db status [PAD]\n"
                            "PAD is een SQLite-bestand of een postgresql://-adres (het wachtwoord dan in ~/.pgpass).\n"
                            "Zonder --password-file vraagt taviro-db het wachtwoord in de terminal."));
    return 2;
}

struct Options
{
    bool demo = false;
    bool off = false;
    QString login, name, passwordFile;
};

int create(const QStringList& args, const Options& options)
{
    if (args.size() != 1)
        return usage();
    const QString path = args.first();
    NewAccount account{options.login, {}, options.name};
    if (options.demo && account.loginnaam.isEmpty())
        account = {QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("Demo Centralist")};
    if (account.loginnaam.isEmpty()) {
        complain(QStringLiteral("Geef met --login de eerste gebruiker op."));
        return 2;
    }
    if (account.wachtwoord.isEmpty()) {
        auto typed = readNewPassword(options.passwordFile, account.loginnaam);
        if (!typed) {
            complain(typed.error());
            return 2;
        }
        account.wachtwoord = *typed;
    }
    auto created = createDatabase(DatabaseSettings::fromText(path), account);
    if (!created) {
        complain(created.error());
        return 1;
    }
    if (options.demo) {
        if (Status s = addDemoInstallation(**created); !s) {
            complain(QStringLiteral("Kan de demogegevens niet toevoegen: %1").arg(s.error()));
            return 1;
        }
    }
    say(QStringLiteral("Database aangemaakt: %1").arg((*created)->databasePath()));
    say(QStringLiteral("Inloggen met gebruikersnaam '%1'.").arg(account.loginnaam));
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
int report(const QStringList& args, bool off)
{
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


void loadDutchTranslations(QCoreApplication& app)
{
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::Dutch), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
}

} // namespace

int main(int argc, char** argv)
{
    // A database holds passwords and the recipients' phone numbers: never
    // readable outside the group (the new database itself is made 0660).
    ::umask(S_IRWXO);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("taviro-db"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVIRO_VERSION));
    loadDutchTranslations(app);
    const QStringList arguments = QCoreApplication::arguments();
    hideUrlPasswords(argc, argv);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("een demo-installatie (gebruiker demo, wachtwoord demo)"));
    const QCommandLineOption login(QStringLiteral("login"), QStringLiteral("de loginnaam van de eerste gebruiker"),
                                   QStringLiteral("naam"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("de volledige naam van de eerste gebruiker"),
                                  QStringLiteral("naam"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("lees het wachtwoord uit dit bestand, - voor de standaardinvoer"),
                                          QStringLiteral("bestand"));
    QCommandLineOption password(QStringLiteral("password"), QStringLiteral("vervallen"), QStringLiteral("wachtwoord"));
    password.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption off(QStringLiteral("af"), QStringLiteral("de melding gaat af in plaats van aan"));
    parser.addOptions({demo, login, name, passwordFile, password, off});
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("opdracht"), QStringLiteral("create, version, report, copy of status"));
    if (!parser.parse(arguments)) {
        complain(parser.errorText());
        return usage();
    }
    if (parser.isSet(QStringLiteral("help")))
        return usage();
    if (parser.isSet(QStringLiteral("version"))) {
        say(QStringLiteral(TAVIRO_VERSION));
        return 0;
    }
    if (parser.isSet(password)) {
        // Too late for this one: it was readable in the process list already.
        complain(QStringLiteral("--password wordt niet meer aangenomen: elke gebruiker van deze computer kan de "
                                "opdrachtregel lezen. Laat taviro-db het wachtwoord vragen, of geef het met "
                                "--password-file - op de standaardinvoer. Kies een ander wachtwoord dan het getypte."));
        return 2;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    const Options options{parser.isSet(demo), parser.isSet(off), parser.value(login), parser.value(name),
                          parser.value(passwordFile)};
    if (command == QLatin1String("create"))
        return create(args, options);
    if (command == QLatin1String("report"))
        return report(args, options.off);
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
