#include "DemoInstallation.h"

#include "Repositories.h"
#include "Transaction.h"

namespace taviro {

namespace {

struct DemoWriter
{
    const DatabaseConnector& conn;
    QString error;

    template <class Repo, class Row>
    qint64 add(const Row& row)
    {
        if (!error.isEmpty())
            return 0;
        auto r = Repo(conn).insert(row);
        if (!r) {
            error = r.error();
            return 0;
        }
        return *r;
    }

    qint64 recipient(const char* alias, const char* naam, const char* mobiel, const char* email, bool sms, bool mail)
    {
        Ontvanger o;
        o.alias = QString::fromUtf8(alias);
        o.naam = QString::fromUtf8(naam);
        o.plaats = QStringLiteral("Amersfoort");
        o.land = QStringLiteral("Nederland");
        o.mobielnr = QString::fromUtf8(mobiel);
        o.email = QString::fromUtf8(email);
        o.UseSMS = sms;
        o.UseEmail = mail;
        return add<OntvangerRepository>(o);
    }

    qint64 transmitter(const char* alias, const char* naam, const char* adres, const char* plaats, qint64 rule,
                       qint64 week, qint64 year)
    {
        Melder m;
        m.adres = QString::fromUtf8(adres);
        m.alias = QString::fromUtf8(alias);
        m.naam = QString::fromUtf8(naam);
        m.plaats = QString::fromUtf8(plaats);
        m.land = QStringLiteral("Nederland");
        m.uitmeld = rule;
        m.weekmelder = week;
        m.jaarmelder = year;
        return add<MelderRepository>(m);
    }

    void point(qint64 melder, const char* functie, const char* omschrijving, bool uurs24 = false)
    {
        Alarm a;
        a.melder_id = melder;
        a.functie = QString::fromUtf8(functie);
        a.omschrijving = QString::fromUtf8(omschrijving);
        a.uurs24 = uurs24;
        add<AlarmRepository>(a);
    }
};

WeekPlanning weekSchedule(const char* alias, const char* naam, qint64 day, qint64 evening, qint64 night, qint64 backup)
{
    WeekPlanning w;
    w.alias = QString::fromUtf8(alias);
    w.naam = QString::fromUtf8(naam);
    // Day from 8:00, evening from 16:30, night from 23:00; the night block
    // runs on until the next morning's first block. (A block starting at
    // 24:00 would never be on duty, and its recipients never called.)
    w.time1 = QStringLiteral("8:00");
    w.time2 = QStringLiteral("16:30");
    w.time3 = QStringLiteral("23:00");
    w.Rij2Actief = true;
    w.Rij3Actief = true;
    w.chkSecond = true;
    for (int d = 0; d < 7; ++d) {
        const bool weekend = d >= 5;
        w.cells[WeekPlanning::cellIndex(0, d, 0)] = weekend ? evening : day;
        w.cells[WeekPlanning::cellIndex(0, d, 1)] = evening;
        w.cells[WeekPlanning::cellIndex(0, d, 2)] = night;
        w.cells[WeekPlanning::cellIndex(1, d, 2)] = backup;
    }
    return w;
}

} // namespace

Status addDemoInstallation(const DatabaseConnector& conn)
{
    Transaction tx(conn);
    if (Status s = tx.begin(); !s)
        return s;
    DemoWriter w{conn, {}};
    const qint64 jan = w.recipient("JDV", "Jan de Vries", "+31612345678", "jan.devries@example.nl", true, true);
    const qint64 marieke = w.recipient("MBA", "Marieke Bakker", "+31623456789", "", true, false);
    const qint64 pieter = w.recipient("PJA", "Pieter Jansen", "", "p.jansen@example.nl", false, true);
    const qint64 jose = w.recipient("JSM", "José Smit", "+31634567890", "jose.smit@example.nl", true, true);

    const qint64 standard = w.add<WeekPlanningRepository>(weekSchedule("STD", "Standaard week", jan, marieke, jose, pieter));
    const qint64 holiday = w.add<WeekPlanningRepository>(weekSchedule("KERST", "Kerstrooster", marieke, marieke, jan, jose));
    JaarPlanning year;
    year.alias = QStringLiteral("JAAR");
    year.naam = QStringLiteral("Jaarrooster Zorg");
    year.weeks.fill(standard);
    year.weeks[51] = holiday; // weeks 52 and 53
    year.weeks[52] = holiday;
    const qint64 yearId = w.add<JaarPlanningRepository>(year);

    const qint64 office = w.transmitter("1001", "Kantoor Centrum", "Stationsplein 12", "Amersfoort", 1, standard, 0);
    w.point(office, "01", "Inbraak hal");
    w.point(office, "02", "Brand keuken");
    w.point(office, "99", "24-uurs testmelding", true);
    const qint64 care = w.transmitter("1002", "Zorgcentrum 't Lindehof", "Lindelaan 4", "Leusden", 2, 0, yearId);
    w.point(care, "10", "Koelcel temperatuur te hoog");
    w.point(care, "11", "Liftstoring");
    w.point(care, "12", "Noodstroom in bedrijf");
    const qint64 sports = w.transmitter("2001", "Sporthal De Brink", "Brinkweg 30", "Soest", 0, 0, 0);
    w.point(sports, "01", "CV-ketel storing");
    if (!w.error.isEmpty())
        return Status::failure(w.error);

    auto settings = SettingsRepository(conn).load();
    if (!settings || !settings->has_value())
        return Status::failure(QStringLiteral("geen instellingen in de nieuwe database"));
    Settings s = **settings;
    s.maxpogingen = 3;
    s.smsfrom = QStringLiteral("Taviro");
    s.mailserver = QStringLiteral("localhost");
    s.mailfromname = QStringLiteral("Taviro meldkamer");
    s.mailfrommail = QStringLiteral("meldkamer@example.nl");
    s.eindtijd = QStringLiteral("22:00");
    if (Status st = SettingsRepository(conn).update(s); !st)
        return st;
    return tx.commit();
}

} // namespace taviro
