#include "Mappings.h"

namespace taviro::mapping {

const RowMapping<Melder>& melders()
{
    using R = Melder;
    static const RowMapping<R> m{QStringLiteral("melders"),
        {field("alias", &R::alias), field("naam", &R::naam), field("adres", &R::adres),
         field("plaats", &R::plaats), field("land", &R::land), field("telnr", &R::telnr),
         field("actief", &R::actief), field("new", &R::isNew), field("uitmeld", &R::uitmeld),
         field("weekmelder", &R::weekmelder), field("jaarmelder", &R::jaarmelder),
         field("deleted", &R::deleted)}};
    return m;
}

const RowMapping<Alarm>& alarmen()
{
    using R = Alarm;
    static const RowMapping<R> m{QStringLiteral("alarmen"),
        {field("melder_id", &R::melder_id), field("functie", &R::functie),
         field("omschrijving", &R::omschrijving), field("actief", &R::actief),
         field("24uurs", &R::uurs24), field("tolate", &R::tolate), field("date", &R::date),
         field("uitmeldtype", &R::uitmeldtype), field("rooster_id", &R::rooster_id),
         field("deleted", &R::deleted)}};
    return m;
}

const RowMapping<Ontvanger>& ontvangers()
{
    using R = Ontvanger;
    static const RowMapping<R> m{QStringLiteral("ontvangers"),
        {field("alias", &R::alias), field("naam", &R::naam), field("adres", &R::adres),
         field("postcode", &R::postcode), field("plaats", &R::plaats), field("land", &R::land),
         field("telnr", &R::telnr), field("mobielnr", &R::mobielnr), field("email", &R::email),
         field("faxnr", &R::faxnr), field("semafoonnr", &R::semafoonnr), field("subcode", &R::subcode),
         field("pincode", &R::pincode), field("superpin", &R::superpin), field("actief", &R::actief),
         field("UseSMS", &R::UseSMS), field("UseEmail", &R::UseEmail), field("methode1", &R::methode1),
         field("deleted", &R::deleted)}};
    return m;
}

const RowMapping<WeekPlanning>& weekplanningen()
{
    using R = WeekPlanning;
    static const RowMapping<R> m = [] {
        RowMapping<R> t{QStringLiteral("weekplanningen"), {field("alias", &R::alias), field("naam", &R::naam)}};
        numberedFields(t.fields, &R::cells, 0);
        t.fields << field("time1", &R::time1) << field("time2", &R::time2) << field("time3", &R::time3)
                 << field("chkSecond", &R::chkSecond) << field("chkThird", &R::chkThird)
                 << field("Rij2Actief", &R::Rij2Actief) << field("Rij3Actief", &R::Rij3Actief)
                 << field("deleted", &R::deleted);
        return t;
    }();
    return m;
}

const RowMapping<JaarPlanning>& jaarplanningen()
{
    using R = JaarPlanning;
    static const RowMapping<R> m = [] {
        RowMapping<R> t{QStringLiteral("jaarplanningen"), {field("alias", &R::alias), field("naam", &R::naam)}};
        numberedFields(t.fields, &R::weeks, 1);
        t.fields << field("deleted", &R::deleted);
        return t;
    }();
    return m;
}

const RowMapping<Melding>& meldingen()
{
    using R = Melding;
    static const RowMapping<R> m = [] {
        RowMapping<R> t{QStringLiteral("meldingen"),
            {field("melding_date", &R::melding_date), field("bemand", &R::bemand), field("show", &R::show),
             field("seen", &R::seen)}};
        // Rows added without naming it belong in the current list.
        t.fields[2].defaultTrue = true;
        return t;
    }();
    return m;
}

const RowMapping<MeldIndex>& meldindex()
{
    using R = MeldIndex;
    static const RowMapping<R> m{QStringLiteral("meldindex"),
        {field("melding_id", &R::melding_id), field("melder_id", &R::melder_id), field("alarm_id", &R::alarm_id),
         field("uitmeld_id", &R::uitmeld_id), field("flank", &R::flank), field("actief", &R::actief),
         field("24uurs", &R::uurs24), field("date", &R::date), field("uitmelden", &R::uitmelden)}};
    return m;
}

const RowMapping<Uitmeld>& uitmeld()
{
    using R = Uitmeld;
    static const RowMapping<R> m{QStringLiteral("uitmeld"),
        {field("ontvanger_id", &R::ontvanger_id), field("uitmeldtype", &R::uitmeldtype), field("done", &R::done),
         field("pogingen", &R::pogingen), field("date", &R::date), field("bevestiger", &R::bevestiger),
         field("bevestigtype", &R::bevestigtype), field("bevestigdate", &R::bevestigdate)}};
    return m;
}

const RowMapping<UitmeldLink>& uitmeldlink()
{
    using R = UitmeldLink;
    static const RowMapping<R> m{QStringLiteral("uitmeldlink"),
        {field("uitmeld_id", &R::uitmeld_id), field("meldindex_id", &R::meldindex_id)}};
    return m;
}

const RowMapping<UitmeldClaim>& uitmeldclaim()
{
    using R = UitmeldClaim;
    static const RowMapping<R> m{QStringLiteral("uitmeldclaim"),
        {field("uitmeld_id", &R::uitmeld_id), field("station", &R::station), field("expires", &R::expires),
         field("soort", &R::soort), field("startid", &R::startid)}};
    return m;
}

const RowMapping<UitmeldMail>& uitmeldmail()
{
    using R = UitmeldMail;
    static const RowMapping<R> m{QStringLiteral("uitmeldmail"), {field("uitmeld_id", &R::uitmeld_id)}};
    return m;
}

const RowMapping<UitmeldRetry>& uitmeldretry()
{
    using R = UitmeldRetry;
    static const RowMapping<R> m{QStringLiteral("uitmeldretry"),
        {field("uitmeld_id", &R::uitmeld_id), field("reason", &R::reason), field("failures", &R::failures),
         field("next_try", &R::next_try)}};
    return m;
}

const RowMapping<MeldingSleutel>& meldingsleutel()
{
    using R = MeldingSleutel;
    static const RowMapping<R> m{QStringLiteral("meldingsleutel"),
        {field("sleutel", &R::sleutel), field("melding_id", &R::melding_id), field("ontvangen", &R::ontvangen)}};
    return m;
}

const RowMapping<WijzigTeller>& wijzigteller()
{
    using R = WijzigTeller;
    static const RowMapping<R> m{QStringLiteral("wijzigteller"),
        {field("naam", &R::naam), field("teller", &R::teller)}};
    return m;
}

const RowMapping<Werkplek>& werkplek()
{
    using R = Werkplek;
    static const RowMapping<R> m{QStringLiteral("werkplek"),
        {field("naam", &R::naam), field("soort", &R::soort), field("gebruiker", &R::gebruiker),
         field("bemand", &R::bemand), field("hartslag", &R::hartslag), field("host", &R::host), field("pid", &R::pid),
         field("stilgemeld", &R::stilgemeld), field("startid", &R::startid)}};
    return m;
}

const RowMapping<TaakSlot>& taakslot()
{
    using R = TaakSlot;
    static const RowMapping<R> m{QStringLiteral("taakslot"),
        {field("taak", &R::taak), field("slot", &R::slot), field("station", &R::station),
         field("startid", &R::startid)}};
    return m;
}

const RowMapping<UitmeldVerzonden>& uitmeldverzonden()
{
    using R = UitmeldVerzonden;
    static const RowMapping<R> m{QStringLiteral("uitmeldverzonden"),
        {field("uitmeld_id", &R::uitmeld_id), field("kwartier", &R::kwartier)}};
    return m;
}

const RowMapping<ComPort>& comports()
{
    using R = ComPort;
    static const RowMapping<R> m{QStringLiteral("comports"),
        {field("number", &R::number), field("designation", &R::designation), field("baudrate", &R::baudrate),
         field("string", &R::string), field("timeout", &R::timeout), field("databits", &R::databits),
         field("parity", &R::parity), field("stopbits", &R::stopbits), field("is_gsm", &R::is_gsm)}};
    return m;
}

const RowMapping<Settings>& settings()
{
    using R = Settings;
    static const RowMapping<R> m{QStringLiteral("settings"),
        {field("DatabaseVersion", &R::DatabaseVersion), field("maxpogingen", &R::maxpogingen),
         field("einddienst", &R::einddienst), field("eindtijd", &R::eindtijd), field("smsfrom", &R::smsfrom),
         field("smscentrale", &R::smscentrale), field("mailserver", &R::mailserver),
         field("MailServerPort", &R::MailServerPort), field("mailfromname", &R::mailfromname),
         field("mailfrommail", &R::mailfrommail), field("mailsubject", &R::mailsubject),
         field("mailusername", &R::mailusername), field("mailpassword", &R::mailpassword),
         field("authentification", &R::authentification), field("ElkeMeldingEmail", &R::ElkeMeldingEmail),
         field("OnbemandeMeldingEmail", &R::OnbemandeMeldingEmail), field("maandag", &R::maandag),
         field("dinsdag", &R::dinsdag), field("woensdag", &R::woensdag), field("donderdag", &R::donderdag),
         field("vrijdag", &R::vrijdag), field("zaterdag", &R::zaterdag), field("zondag", &R::zondag),
         field("OnbemandRoosterActief", &R::OnbemandRoosterActief),
         field("AutoBemandNaInloggen", &R::AutoBemandNaInloggen),
         field("AutoOnbemandNaUitloggen", &R::AutoOnbemandNaUitloggen), field("printdirect", &R::printdirect),
         field("OntvangstServer", &R::OntvangstServer), field("OntvangstPort", &R::OntvangstPort),
         field("OntvangstUserName", &R::OntvangstUserName), field("OntvangstPassword", &R::OntvangstPassword),
         field("OntvangstTimeout", &R::OntvangstTimeout), field("OntvangstInterval", &R::OntvangstInterval),
         field("uitmeldcc", &R::uitmeldcc), field("uitmeldccmail", &R::uitmeldccmail)}};
    return m;
}

const RowMapping<Gebruiker>& gebruikers()
{
    using R = Gebruiker;
    static const RowMapping<R> m{QStringLiteral("gebruikers"),
        {field("alias", &R::alias), field("naam", &R::naam), field("loginnaam", &R::loginnaam),
         field("wachtwoord", &R::wachtwoord), field("deleted", &R::deleted)}};
    return m;
}

} // namespace taviro::mapping
