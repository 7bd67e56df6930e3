#include "EscalationPage.h"

#include "FormHelpers.h"
#include "Repositories.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace taviro {

EscalationPage::EscalationPage(const DatabaseConnector& conn, QWidget* parent) : QWidget(parent), m_conn(conn)
{
    auto* f = new QFormLayout(this);
    auto* hint = new QLabel(QStringLiteral("Een onbemande melding die niemand binnen de ingestelde minuten "
                                           "bevestigt, gaat ook naar wie in het escalatierooster van dienst is."),
                            this);
    hint->setWordWrap(true);
    f->addRow(hint);
    m_on = form::checkBox(this, QStringLiteral("escalatieAanCheck"), QStringLiteral("Escaleren"));
    f->addRow(QString(), m_on);
    m_minutes = form::addTextRow(f, QStringLiteral("txtEscalatieMinuten"), QStringLiteral("Na (minuten)"));
    m_week = new QComboBox(this);
    m_week->setObjectName(QStringLiteral("escalatieWeekplanningCombo"));
    f->addRow(QStringLiteral("Weekrooster"), m_week);
    m_year = new QComboBox(this);
    m_year->setObjectName(QStringLiteral("escalatieJaarplanningCombo"));
    f->addRow(QStringLiteral("Jaarrooster (gaat voor)"), m_year);
    m_copy = form::checkBox(this, QStringLiteral("escalatieKopieCheck"),
                            QStringLiteral("Daarna ook e-mail naar de kopieadressen"));
    f->addRow(QString(), m_copy);
    m_notice = form::checkBox(this, QStringLiteral("bevestigingMeldenCheck"),
                              QStringLiteral("Bevestiging melden aan wie de melding kreeg"));
    f->addRow(QString(), m_notice);
    connect(m_on, &QCheckBox::clicked, this, [this] {
        // Switching on offers half an hour; switching off keeps nothing.
        if (form::isTicked(m_on) && form::wholeNumber(m_minutes->text()).value_or(0) <= 0)
            m_minutes->setText(QString::number(EscalationSettings::kOfferedMinutes));
        applyEnableRules();
    });
}

void EscalationPage::fillSchedules()
{
    m_week->clear();
    m_year->clear();
    m_week->addItem(QStringLiteral("(geen)"), qint64(0));
    m_year->addItem(QStringLiteral("(geen)"), qint64(0));
    if (auto weeks = WeekPlanningRepository(m_conn).listActive(); weeks)
        for (const WeekPlanning& w : *weeks)
            m_week->addItem(w.alias, w.id);
    if (auto years = JaarPlanningRepository(m_conn).listActive(); years)
        for (const JaarPlanning& y : *years)
            m_year->addItem(y.alias, y.id);
}

void EscalationPage::showSettings(const EscalationSettings& s)
{
    fillSchedules();
    // A schedule deleted since it was chosen still shows, so saving the
    // page does not silently change the choice.
    auto choose = [](QComboBox* box, qint64 id) {
        int at = box->findData(id);
        if (at < 0) {
            box->addItem(QStringLiteral("%1 (verwijderd)").arg(id), id);
            at = box->count() - 1;
        }
        box->setCurrentIndex(at);
    };
    choose(m_week, s.weekId);
    choose(m_year, s.yearId);
    m_on->setChecked(s.on());
    // A wait another program stored beyond a day is shown as the day the
    // engine waits, so the page can be left and stored as it stands.
    m_minutes->setText(s.on() ? QString::number(s.effectiveMinutes()) : QString());
    m_copy->setChecked(s.copy);
    m_notice->setChecked(s.notice);
    applyEnableRules();
}

void EscalationPage::applyEnableRules()
{
    const bool on = form::isTicked(m_on);
    for (QWidget* w : std::initializer_list<QWidget*>{m_minutes, m_week, m_year, m_copy, m_notice})
        w->setEnabled(on);
}

std::optional<EscalationSettings> EscalationPage::collect(QString* why) const
{
    EscalationSettings s;
    s.weekId = m_week->currentData().toLongLong();
    s.yearId = m_year->currentData().toLongLong();
    s.copy = form::isTicked(m_copy);
    s.notice = form::isTicked(m_notice);
    if (!form::isTicked(m_on))
        return s; // off: minutes 0, the rest kept for switching on again
    const auto minutes = form::wholeNumber(m_minutes->text());
    if (!minutes || *minutes < 1 || *minutes > EscalationSettings::kMaxMinutes) {
        if (why)
            *why = QStringLiteral("U kunt bij \"Na (minuten)\" alleen een getal van 1 tot en met %1 invoeren.")
                       .arg(EscalationSettings::kMaxMinutes);
        return std::nullopt;
    }
    s.minutes = *minutes;
    return s;
}

bool EscalationPage::differs(const EscalationSettings& stored) const
{
    const auto now = collect(nullptr);
    if (!now)
        return true;
    const qint64 storedMinutes = stored.on() ? stored.effectiveMinutes() : 0;
    return now->minutes != storedMinutes || now->weekId != stored.weekId || now->yearId != stored.yearId ||
           now->copy != stored.copy || now->notice != stored.notice;
}

} // namespace taviro
