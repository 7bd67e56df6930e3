#include "OverzichtPanel.h"

#include "Clock.h"
#include "DatabaseConnector.h"
#include "Repositories.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace taviro {

namespace {

QDateEdit* datePicker(QWidget* parent, const char* name)
{
    auto* d = new QDateEdit(parent);
    d->setObjectName(QLatin1String(name));
    d->setCalendarPopup(true);
    d->setDisplayFormat(QStringLiteral("dd-MM-yyyy"));
    return d;
}

} // namespace

OverzichtPanel::OverzichtPanel(Kind kind, const DatabaseConnector& conn, const Clock& clock, QWidget* parent)
    : QWidget(parent), m_kind(kind), m_conn(conn), m_clock(clock)
{
    const bool periode = kind == Kind::Periode;
    setObjectName(periode ? QStringLiteral("Overzichten") : QStringLiteral("Overzicht2"));
    auto* title = new QLabel(periode ? QStringLiteral("Overzicht over een periode") : QStringLiteral("Dagoverzicht"), this);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    title->setFont(f);

    m_melderList = new QListWidget(this);
    m_melderList->setObjectName(QStringLiteral("melderList"));
    m_melderList->setSelectionMode(QAbstractItemView::MultiSelection);
    m_from = datePicker(this, "DTPickerFrom");
    m_inactive = new QCheckBox(QStringLiteral("Toon inactieve meldingen"), this);
    m_inactive->setObjectName(QStringLiteral("toonInactieveMeldersCheck"));
    auto* generate = new QPushButton(QStringLiteral("Overzicht maken"), this);
    generate->setObjectName(QStringLiteral("Command1"));

    auto* form = new QFormLayout;
    form->addRow(periode ? QStringLiteral("Van:") : QStringLiteral("Datum:"), m_from);
    if (periode) {
        m_to = datePicker(this, "DTPickerTo");
        form->addRow(QStringLiteral("Tot en met:"), m_to);
    }
    form->addRow(QString(), m_inactive);

    auto* buttons = new QHBoxLayout;
    if (periode) {
        auto* all = new QPushButton(QStringLiteral("Alles selecteren"), this);
        all->setObjectName(QStringLiteral("Command2"));
        auto* none = new QPushButton(QStringLiteral("Niets selecteren"), this);
        none->setObjectName(QStringLiteral("Command3"));
        connect(all, &QPushButton::clicked, m_melderList, &QListWidget::selectAll);
        connect(none, &QPushButton::clicked, m_melderList, &QListWidget::clearSelection);
        buttons->addWidget(all);
        buttons->addWidget(none);
    }
    buttons->addStretch();
    buttons->addWidget(generate);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(new QLabel(QStringLiteral("Melders:"), this));
    layout->addWidget(m_melderList, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);

    // Tab goes the way the eye reads the panel: the list, the dates, the
    // box, the selection buttons and last the button that makes the overview.
    QList<QWidget*> order{m_melderList, m_from};
    if (m_to)
        order << m_to;
    order << m_inactive;
    for (const char* name : {"Command2", "Command3"})
        if (auto* b = findChild<QPushButton*>(QLatin1String(name)))
            order << b;
    order << generate;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(generate, &QPushButton::clicked, this, [this] { Q_EMIT overzichtRequested(request()); });
    fillmelderlist();
    // A new panel starts on today; opening it again (fillmelderlist) resets
    // the period to the last day.
    m_from->setDate(m_clock.now().date());
}

void OverzichtPanel::fillmelderlist()
{
    m_melderList->clear();
    auto melders = MelderRepository(m_conn).listActive(QStringLiteral("naam"));
    if (melders)
        for (const Melder& m : *melders) {
            auto* item = new QListWidgetItem(m.naam + QStringLiteral(" (") + m.adres + QLatin1Char(')'), m_melderList);
            item->setData(Qt::UserRole, m.id);
        }
    // A period ends now and starts a day earlier; a day overview shows today.
    const QDate today = m_clock.now().date();
    m_from->setDate(m_kind == Kind::Periode ? m_clock.now().addDays(-1).date() : today);
    if (m_to)
        m_to->setDate(today);
}

OverzichtRequest OverzichtPanel::request() const
{
    OverzichtRequest r;
    for (int i = 0; i < m_melderList->count(); ++i)
        if (m_melderList->item(i)->isSelected())
            r.melderIds << m_melderList->item(i)->data(Qt::UserRole).toLongLong();
    r.from = m_from->date();
    r.to = m_to ? m_to->date() : r.from;
    r.includeInactive = m_inactive->isChecked();
    r.stylesheet = m_kind == Kind::Periode ? overzicht::kPeriodStylesheet : overzicht::kDayStylesheet;
    return r;
}

} // namespace taviro
