#include "PasswordInput.h"

#include <QFile>

#include <cstdio>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace taviro {

namespace {

QString firstLine(QFile& file)
{
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

// One line from the terminal with echo off, restored whatever happens.
QString typedHidden(const QString& question)
{
    std::fprintf(stderr, "%s", question.toUtf8().constData());
    std::fflush(stderr);
    termios saved = {};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        line.push_back(char(c));
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    return QString::fromStdString(line);
}

} // namespace

Result<QString> readNewPassword(const QString& file, const QString& login)
{
    using R = Result<QString>;
    QString password;
    if (file == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return R::failure(QStringLiteral("Kan de standaardinvoer niet lezen."));
        password = firstLine(in);
    } else if (!file.isEmpty()) {
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            return R::failure(QStringLiteral("Kan het wachtwoordbestand %1 niet lezen: %2").arg(file, in.errorString()));
        password = firstLine(in);
    } else {
        if (!::isatty(STDIN_FILENO))
            return R::failure(QStringLiteral("Geen wachtwoord: geef het op de standaardinvoer met --password-file -, "
                                             "of start taviro-db in een terminal, dan vraagt het erom."));
        password = typedHidden(QStringLiteral("Wachtwoord voor %1: ").arg(login));
        if (typedHidden(QStringLiteral("Nogmaals: ")) != password)
            return R::failure(QStringLiteral("De twee wachtwoorden verschillen; er is niets aangemaakt."));
    }
    if (password.isEmpty())
        return R::failure(QStringLiteral("Het wachtwoord is leeg; er is niets aangemaakt."));
    return password;
}

} // namespace taviro
