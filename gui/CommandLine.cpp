#include "CommandLine.h"

#include <QRegularExpression>

namespace taviro {

CommandLineLogin parseCommandLine(const QStringList& arguments)
{
    // The shell has split already; a single argument that still holds blanks
    // or tabs (a launcher passing one string) is split the same way.
    QStringList args;
    static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
    for (const QString& a : arguments)
        args << a.split(blanks, Qt::SkipEmptyParts);
    args = args.mid(0, 10);

    CommandLineLogin login;
    if (args.size() == 3) {
        login.loginnaam = args[0];
        login.wachtwoord = args[1];
        login.bemand = args[2] == QLatin1String("bemand");
    } else if (!args.isEmpty()) {
        login.syntaxError = true;
    }
    return login;
}

} // namespace taviro
