#include "ModemErrors.h"

#include <cstddef>

namespace taviro::modem {

namespace {

struct Meaning
{
    int code;
    const char* dutch;
    const char* english;
};

// Message service failures: network causes (1-127), causes from the
// message centre (128-255) and the modem's own (300-500).
constexpr Meaning CmsCodes[] = {
    {1, "nummer bestaat niet", "unassigned (unallocated) number"},
    {8, "geblokkeerd door de operator", "operator determined barring"},
    {10, "gesprek geblokkeerd", "call barred"},
    {21, "bericht geweigerd door het netwerk", "short message transfer rejected"},
    {27, "bestemming buiten dienst", "destination out of service"},
    {28, "abonnee onbekend bij het netwerk", "unidentified subscriber"},
    {29, "dienst geweigerd", "facility rejected"},
    {30, "abonnee onbekend", "unknown subscriber"},
    {38, "netwerk buiten dienst", "network out of order"},
    {41, "tijdelijke storing", "temporary failure"},
    {42, "netwerk overbelast", "congestion"},
    {47, "geen middelen beschikbaar", "resources unavailable, unspecified"},
    {50, "dienst niet in het abonnement", "requested facility not subscribed"},
    {69, "dienst niet beschikbaar", "requested facility not implemented"},
    {81, "ongeldige berichtreferentie", "invalid short message transfer reference value"},
    {95, "ongeldig bericht", "invalid message, unspecified"},
    {96, "verplicht gegeven ongeldig", "invalid mandatory information"},
    {97, "berichttype onbekend", "message type non-existent or not implemented"},
    {98, "bericht past niet in de protocolstatus", "message not compatible with short message protocol state"},
    {99, "informatie-element onbekend", "information element non-existent or not implemented"},
    {111, "protocolfout", "protocol error, unspecified"},
    {127, "koppelingsfout", "interworking, unspecified"},
    {128, "telematica niet ondersteund", "telematic interworking not supported"},
    {129, "berichttype 0 niet ondersteund", "short message type 0 not supported"},
    {130, "bericht kan niet worden vervangen", "cannot replace short message"},
    {143, "protocol-id fout", "unspecified TP-PID error"},
    {144, "tekencodering niet ondersteund", "data coding scheme (alphabet) not supported"},
    {145, "berichtklasse niet ondersteund", "message class not supported"},
    {159, "coderingsfout", "unspecified TP-DCS error"},
    {160, "opdracht niet uitvoerbaar", "command cannot be actioned"},
    {161, "opdracht niet ondersteund", "command unsupported"},
    {175, "opdrachtfout", "unspecified TP-Command error"},
    {176, "PDU niet ondersteund", "TPDU not supported"},
    {192, "berichtencentrale bezet", "SC busy"},
    {193, "geen abonnement bij de berichtencentrale", "no SC subscription"},
    {194, "storing in de berichtencentrale", "SC system failure"},
    {195, "ongeldig adres", "invalid SME address"},
    {196, "bestemming geblokkeerd", "destination SME barred"},
    {197, "dubbel bericht geweigerd", "SM rejected-duplicate SM"},
    {198, "geldigheidsformaat niet ondersteund", "TP-VPF not supported"},
    {199, "geldigheidsduur niet ondersteund", "TP-VP not supported"},
    {208, "berichtopslag van de SIM vol", "SIM SMS storage full"},
    {209, "SIM kan geen berichten opslaan", "no SMS storage capability in SIM"},
    {210, "fout in het toestel", "error in MS"},
    {211, "geheugen vol", "memory capacity exceeded"},
    {212, "SIM-toolkit bezet", "SIM application toolkit busy"},
    {213, "fout bij laden naar de SIM", "SIM data download error"},
    {255, "onbekende oorzaak", "unspecified error cause"},
    {300, "storing in de modem", "ME failure"},
    {301, "SMS-dienst van de modem gereserveerd", "SMS service of ME reserved"},
    {302, "handeling niet toegestaan", "operation not allowed"},
    {303, "handeling niet ondersteund", "operation not supported"},
    {304, "ongeldige parameter in PDU-modus", "invalid PDU mode parameter"},
    {305, "ongeldige parameter in tekstmodus", "invalid text mode parameter"},
    {310, "geen SIM-kaart", "(U)SIM not inserted"},
    {311, "SIM wacht op pincode", "(U)SIM PIN required"},
    {312, "toestel wacht op SIM-pincode", "PH-(U)SIM PIN required"},
    {313, "SIM-storing", "(U)SIM failure"},
    {314, "SIM bezet", "(U)SIM busy"},
    {315, "verkeerde SIM", "(U)SIM wrong"},
    {316, "SIM wacht op PUK-code", "(U)SIM PUK required"},
    {317, "SIM wacht op PIN2", "(U)SIM PIN2 required"},
    {318, "SIM wacht op PUK2", "(U)SIM PUK2 required"},
    {320, "geheugenstoring", "memory failure"},
    {321, "ongeldige geheugenplaats", "invalid memory index"},
    {322, "geheugen vol", "memory full"},
    {330, "nummer van de berichtencentrale onbekend", "SMSC address unknown"},
    {331, "geen netwerk", "no network service"},
    {332, "netwerk antwoordt niet op tijd", "network timeout"},
    {340, "geen bevestiging verwacht", "no +CNMA acknowledgement expected"},
    {500, "onbekende fout", "unknown error"},
};

// Mobile equipment failures: the SIM, passwords, memory and the network.
constexpr Meaning CmeCodes[] = {
    {0, "storing in de modem", "phone failure"},
    {1, "geen verbinding met het toestel", "no connection to phone"},
    {2, "verbinding met het toestel gereserveerd", "phone-adaptor link reserved"},
    {3, "handeling niet toegestaan", "operation not allowed"},
    {4, "handeling niet ondersteund", "operation not supported"},
    {5, "toestel wacht op SIM-pincode", "PH-SIM PIN required"},
    {10, "geen SIM-kaart", "SIM not inserted"},
    {11, "SIM wacht op pincode", "SIM PIN required"},
    {12, "SIM wacht op PUK-code", "SIM PUK required"},
    {13, "SIM-storing", "SIM failure"},
    {14, "SIM bezet", "SIM busy"},
    {15, "verkeerde SIM", "SIM wrong"},
    {16, "verkeerde pincode", "incorrect password"},
    {17, "SIM wacht op PIN2", "SIM PIN2 required"},
    {18, "SIM wacht op PUK2", "SIM PUK2 required"},
    {20, "geheugen vol", "memory full"},
    {21, "ongeldige geheugenplaats", "invalid index"},
    {22, "niet gevonden", "not found"},
    {23, "geheugenstoring", "memory failure"},
    {24, "tekst te lang", "text string too long"},
    {25, "ongeldige tekens in de tekst", "invalid characters in text string"},
    {26, "nummer te lang", "dial string too long"},
    {27, "ongeldige tekens in het nummer", "invalid characters in dial string"},
    {30, "geen netwerk", "no network service"},
    {31, "netwerk antwoordt niet op tijd", "network timeout"},
    {32, "alleen noodoproepen toegestaan", "network not allowed - emergency calls only"},
    {100, "onbekende fout", "unknown"},
};

template <std::size_t N>
QString lookUp(const Meaning (&table)[N], int code)
{
    for (const Meaning& m : table)
        if (m.code == code)
            return QStringLiteral("%1; %2").arg(QString::fromUtf8(m.dutch), QString::fromLatin1(m.english));
    return {};
}

} // namespace

QString cmsErrorMeaning(int code)
{
    if (const QString known = lookUp(CmsCodes, code); !known.isEmpty())
        return known;
    if (code >= 512)
        return QStringLiteral("code van de fabrikant; manufacturer specific");
    return {};
}

QString cmeErrorMeaning(int code)
{
    return lookUp(CmeCodes, code);
}

QString describeModemError(const QByteArray& finalLine)
{
    const QByteArray line = finalLine.trimmed();
    const bool cms = line.startsWith("+CMS ERROR:");
    const bool cme = line.startsWith("+CME ERROR:");
    const QString shown = QString::fromLatin1(line);
    if (!cms && !cme)
        return shown;
    // A modem set to verbose errors (AT+CMEE=2) says what went wrong itself.
    bool numeric = false;
    const int code = line.mid(11).trimmed().toInt(&numeric);
    if (!numeric)
        return shown;
    const QString meaning = cms ? cmsErrorMeaning(code) : cmeErrorMeaning(code);
    return meaning.isEmpty() ? QStringLiteral("%1 (onbekende foutcode)").arg(shown)
                             : QStringLiteral("%1 (%2)").arg(shown, meaning);
}

} // namespace taviro::modem
