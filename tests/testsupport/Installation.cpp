#include "Installation.h"

#include "Repositories.h"

namespace taviro::test {

namespace {
template <class Repo, class Row>
qint64 add(const DatabaseConnector& conn, const Row& row, QString& error)
{
    auto r = Repo(conn).insert(row);
    if (!r) {
        error = r.error();
        return 0;
    }
    return *r;
}
} // namespace

qint64 Installation::recipient(const QString& naam, const QString& mobiel, const QString& email,
                               bool sms, bool mail)
{
    Ontvanger o;
    o.alias = naam.left(3).toUpper();
    o.naam = naam;
    o.mobielnr = mobiel;
    o.email = email;
    o.UseSMS = sms;
    o.UseEmail = mail;
    return add<OntvangerRepository>(m_conn, o, m_error);
}

WeekPlanning Installation::weekTemplate(const QString& alias) const
{
    WeekPlanning w;
    w.alias = alias;
    w.naam = QStringLiteral("Rooster ") + alias;
    w.time1 = QStringLiteral("8:00");
    w.time2 = QStringLiteral("16:30");
    w.time3 = QStringLiteral("24:00");
    w.Rij2Actief = true;
    return w;
}

qint64 Installation::week(const WeekPlanning& w)
{
    return add<WeekPlanningRepository>(m_conn, w, m_error);
}

qint64 Installation::year(const QString& alias, qint64 everyWeek,
                          std::function<void(JaarPlanning&)> adjust)
{
    JaarPlanning y;
    y.alias = alias;
    y.naam = QStringLiteral("Jaar ") + alias;
    y.weeks.fill(everyWeek);
    if (adjust)
        adjust(y);
    return add<JaarPlanningRepository>(m_conn, y, m_error);
}

qint64 Installation::transmitter(const QString& alias, const QString& naam, qint64 rule,
                                 qint64 weekId, qint64 yearId, const QString& adres,
                                 const QString& plaats)
{
    Melder m;
    m.alias = alias;
    m.naam = naam;
    m.adres = adres;
    m.plaats = plaats;
    m.uitmeld = rule;
    m.weekmelder = weekId;
    m.jaarmelder = yearId;
    return add<MelderRepository>(m_conn, m, m_error);
}

qint64 Installation::point(qint64 melderId, const QString& functie, const QString& omschrijving,
                           qint64 rule, qint64 roosterId, bool uurs24)
{
    Alarm a;
    a.melder_id = melderId;
    a.functie = functie;
    a.omschrijving = omschrijving;
    a.uitmeldtype = rule;
    a.rooster_id = roosterId;
    a.uurs24 = uurs24;
    return add<AlarmRepository>(m_conn, a, m_error);
}

void Installation::settings(const std::function<void(Settings&)>& change)
{
    SettingsRepository repo(m_conn);
    auto s = repo.load();
    if (!s || !s->has_value()) {
        m_error = QStringLiteral("geen instellingen");
        return;
    }
    Settings row = **s;
    change(row);
    if (Status st = repo.update(row); !st)
        m_error = st.error();
}

} // namespace taviro::test
