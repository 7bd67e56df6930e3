#pragma once

#include <QString>
#include <QStringList>

namespace taviro {

// "gebruikersnaam password bemand|onbemand" from the command line.
struct CommandLineLogin
{
    QString loginnaam;
    QString wachtwoord;
    bool bemand = false;
    bool syntaxError = false; // some arguments, but not exactly three
};

// Arguments after the program name; blanks and tabs separate, no quoting.
CommandLineLogin parseCommandLine(const QStringList& arguments);

inline QString commandLineSyntaxMessage()
{
    return QStringLiteral("Taviro starten via de command line.\r\n\r\nSyntax: TAVIRO gebruikersnaam password bemand");
}

} // namespace taviro
