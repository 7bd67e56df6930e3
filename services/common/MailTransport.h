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

// The reason given when TLS was required and did not come about. `clientError`
// is what the mail library said: a server that offered STARTTLS and then
// refused it ("STARTTLS denied") is told apart from one that never offered it.
inline QString tlsRefusedReason(const QString& clientError = {})
{
    if (clientError.contains(QLatin1String("denied"), Qt::CaseInsensitive))
        return QStringLiteral("TLS vereist: de server biedt STARTTLS aan maar weigert het (%1); het wachtwoord wordt "
                              "niet onversleuteld verzonden")
            .arg(clientError.trimmed());
    return QStringLiteral("TLS vereist: de server biedt geen STARTTLS en het wachtwoord wordt niet "
                          "onversleuteld verzonden (TAVIRO_MAIL_ALLOW_PLAINTEXT=1 staat het toe)");
}

} // namespace taviro::service
