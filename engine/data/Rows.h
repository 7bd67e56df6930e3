#pragma once

#include <QDateTime>
#include <QString>

#include <array>

namespace taviro {

// One struct per table, with the columns' own names. Keys are 0 for "none".

struct Melder // alarm transmitter
{
    qint64 id = 0;
    QString alias; // shown to the operator as "OS-nummer"
    QString naam, adres, plaats, land, telnr;
    bool actief = true;
    bool isNew = false; // column [new]
    qint64 uitmeld = 0; // 0 do not forward, 1 week schedule, 2 year schedule
    qint64 weekmelder = 0;
    qint64 jaarmelder = 0;
    bool deleted = false;
};

struct Alarm // alarm point of a transmitter
{
    qint64 id = 0;
    qint64 melder_id = 0;
    QString functie, omschrijving;
    bool actief = true;
    bool uurs24 = false; // column [24uurs]
    bool tolate = false;
    QDateTime date;
    qint64 uitmeldtype = 0; // 0 as transmitter, 1 not, 2 week schedule, 3 year schedule
    qint64 rooster_id = 0;
    bool deleted = false;
};

struct Ontvanger // recipient
{
    qint64 id = 0;
    QString alias, naam, adres, postcode, plaats, land, telnr, mobielnr, email, faxnr, semafoonnr;
    qint64 subcode = 0, pincode = 0;
    bool superpin = false;
    bool actief = true;
    bool UseSMS = false, UseEmail = false;
    qint64 methode1 = 0; // legacy, read by the upgrade only
    bool deleted = false;
};

struct WeekPlanning // week schedule
{
    static constexpr int kCells = 63;
    qint64 id = 0;
    QString alias, naam;
    // cell = 21 * position + 3 * day + block; each a recipient key or 0
    std::array<qint64, kCells> cells{};
    QString time1, time2, time3;
    bool chkSecond = false, chkThird = false;
    bool Rij2Actief = false, Rij3Actief = false;
    bool deleted = false;

    static constexpr int cellIndex(int position, int day, int block) { return 21 * position + 3 * day + block; }
};

struct JaarPlanning // year schedule
{
    static constexpr int kWeeks = 53;
    qint64 id = 0;
    QString alias, naam;
    std::array<qint64, kWeeks> weeks{}; // weeks[n-1] is the week schedule of week n
    bool deleted = false;
};

struct Melding // received report
{
    qint64 id = 0;
    QDateTime melding_date;
    bool bemand = false;
    bool show = true;
    bool seen = false;
};

struct MeldIndex // alarm line of a report
{
    qint64 id = 0;
    qint64 melding_id = 0, melder_id = 0, alarm_id = 0, uitmeld_id = 0;
    qint64 flank = 0; // non-zero "Op", 0 "Af"
    bool actief = true;
    bool uurs24 = false; // column [24uurs]
    QDateTime date;
    bool uitmelden = false;
};

// An operator closed the dispatch with every other open one of its report
// (pending-dispatch management): `bevestiger` names the operator, and the
// dispatch is neither sent nor repeated any more.
constexpr qint64 kClosedInBulk = 3;

struct Uitmeld // dispatch: one notification job for one recipient
{
    qint64 id = 0;
    qint64 ontvanger_id = 0;
    qint64 uitmeldtype = 0; // 0 not sent, 1 SMS, 2 e-mail
    bool done = false;
    qint64 pogingen = 0;
    QDateTime date;
    qint64 bevestiger = 0;
    qint64 bevestigtype = 0; // 0 open, 1 operator, 2 recipient, 3 closed in bulk by an operator
    QDateTime bevestigdate;
};

// Every recipient a line was forwarded to; meldindex.uitmeld_id keeps only the last.
struct UitmeldLink
{
    qint64 id = 0;
    qint64 uitmeld_id = 0;
    qint64 meldindex_id = 0;
};

// An e-mail a dispatch still owes: the mail service refused it while the
// SMS of the same dispatch went out, so the dispatch counts as sent by SMS.
struct UitmeldMail
{
    qint64 id = 0;
    qint64 uitmeld_id = 0;
};

// A report a receiver stored lately, by the transmitter's own mark of it
// (alias, sequence number and checksum), so a transmitter that missed our
// acknowledgement and calls again is acknowledged without a second report,
// whichever port, receiver process or station takes the repeat.
struct MeldingSleutel
{
    qint64 id = 0;
    QString sleutel;
    qint64 melding_id = 0;
    QDateTime ontvangen;
};

// A station's claim on a dispatch it is sending: kept until the outcome is
// recorded, so a station that dies mid-send leaves a trace that others can
// turn back into a pending dispatch once the claim's lease has run out.
struct UitmeldClaim
{
    qint64 id = 0;
    qint64 uitmeld_id = 0;
    QString station;    // the workstation that claimed it
    qint64 expires = 0; // seconds since 1970 (UTC) by the database server's clock
    QString soort;      // its kind, "console" or "station": one of each may share a name
    QString startid;    // which start of it: a restarted workstation's claims are leftovers
};

// A periodic duty of the whole room done for one time slot (a quarter-hour
// mark, a switch time): whichever workstation writes the row first does the
// duty, in the same transaction; the others find the row and leave it.
struct TaakSlot
{
    qint64 id = 0;
    QString taak;     // which duty, for instance "herhalen"
    qint64 slot = 0;  // the slot's start, seconds since 1970 (UTC) by the room's clock
    QString station;  // who did it
    QString startid;
};

// The quarter hour in which an SMS of a dispatch went out: a re-arm of that
// quarter that comes late must not send it a second time within it.
struct UitmeldVerzonden
{
    qint64 id = 0;
    qint64 uitmeld_id = 0;
    qint64 kwartier = 0; // the quarter's start, seconds since 1970 (UTC)
};

// A pending dispatch that could not go out: why, how often in a row, and
// not before when it is offered again. Kept in the database so the growing
// pause survives a restart and every station sharing the database keeps it.
struct UitmeldRetry
{
    qint64 id = 0;
    qint64 uitmeld_id = 0;
    QString reason;     // short, compared to tell a new kind of failure from a repeat
    qint64 failures = 0;
    QDateTime next_try; // the station's local time, as every other date
};

// How often something that stations keep in memory has been changed, so a
// station learns with one cheap read that its copy is out of date.
struct WijzigTeller
{
    qint64 id = 0;
    QString naam;     // what is counted, for instance "roosters"
    qint64 teller = 0;
};

// One console or station of the control room, as it last told the others:
// who is logged in, whether it is manned, and when it last beat. The room is
// manned while a manned console beats; the stations forward otherwise.
struct Werkplek
{
    qint64 id = 0;
    QString naam;         // the workstation name
    QString soort;        // "console" or "station"
    QString gebruiker;    // the logged-in operator's name, '' when nobody
    bool bemand = false;
    qint64 hartslag = 0;  // seconds since 1970 (UTC) by the database server's clock
    QString host;         // the machine it runs on
    qint64 pid = 0;       // its process there
    bool stilgemeld = false; // its silence has been reported (by one workstation, once)
    QString startid;      // the start that beats now: claims of an earlier start are leftovers
};

struct ComPort // serial-port assignment
{
    qint64 id = 0;
    qint64 number = 0; // 1 = COM1
    qint64 designation = 0;
    qint64 baudrate = 0;
    QString string; // modem initialisation
    qint64 timeout = 0;
    qint64 databits = 8;
    QString parity = QStringLiteral("N");
    qint64 stopbits = 1;
    bool is_gsm = false;
};

struct Settings // the one row of global settings
{
    qint64 id = 0;
    qint64 DatabaseVersion = 0;
    qint64 maxpogingen = 0;
    bool einddienst = false;
    QString eindtijd, smsfrom, smscentrale, mailserver;
    qint64 MailServerPort = 25;
    QString mailfromname, mailfrommail, mailsubject, mailusername, mailpassword;
    qint64 authentification = 0;
    QString ElkeMeldingEmail, OnbemandeMeldingEmail;
    QString maandag, dinsdag, woensdag, donderdag, vrijdag, zaterdag, zondag;
    bool OnbemandRoosterActief = true, AutoBemandNaInloggen = true, AutoOnbemandNaUitloggen = true;
    qint64 printdirect = 0;
    QString OntvangstServer;
    qint64 OntvangstPort = 110;
    QString OntvangstUserName, OntvangstPassword;
    qint64 OntvangstTimeout = 60, OntvangstInterval = 5;
    bool uitmeldcc = false; // legacy, read by the upgrade only
    QString uitmeldccmail;  // legacy
};

struct Gebruiker // operator account
{
    qint64 id = 0;
    QString alias, naam, loginnaam, wachtwoord;
    bool deleted = false;
};

} // namespace taviro
