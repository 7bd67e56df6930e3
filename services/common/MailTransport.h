#pragma once

#include <QString>

namespace taviro::service {

// How a mail service reaches its server. Ports 465 (SMTP) and 995 (POP3)
// speak TLS from the first byte; on any other port the service asks for
// STARTTLS, and when it is about to send a password it insists on it: a
// server (or someone in between) that offers no STARTTLS must not receive
// the account's password in clear. An installer on a closed network may allow
// that on purpose with TAVIRO_MAIL_ALLOW_PLAINTEXT=1.
struct MailTransport
{
    QString scheme;          // "smtp", "smtps", "pop3" or "pop3s"
    bool tlsRequired = false; // no TLS, no session

    static MailTransport choose(const QString& protocol, int port, bool sendsPassword)
    {
        const bool implicitTls = (protocol == QLatin1String("smtp") && port == 465)
                                 || (protocol == QLatin1String("pop3") && port == 995);
        const bool plaintextAllowed = qEnvironmentVariableIntValue("TAVIRO_MAIL_ALLOW_PLAINTEXT") == 1;
        return {implicitTls ? protocol + QLatin1Char('s') : protocol,
                implicitTls || (sendsPassword && !plaintextAllowed)};
    }
};

// The reason given when a server offers no TLS and a password was due.
inline QString tlsRefusedReason()
{
    return QStringLiteral("TLS vereist: de server biedt geen STARTTLS en het wachtwoord wordt niet "
                          "onversleuteld verzonden (TAVIRO_MAIL_ALLOW_PLAINTEXT=1 staat het toe)");
}

} // namespace taviro::service
