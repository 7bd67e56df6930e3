#include "AlarmDetail.h"

#include "Console.h"
#include "EventLog.h"
#include "OperatorPrompt.h"
#include "Repositories.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace taviro {

namespace {

QLabel* label(QWidget* parent, const char* name)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

} // namespace

AlarmDetail::AlarmDetail(Deps deps, QWidget* parent) : QWidget(parent), m_deps(std::move(deps))
{
    setObjectName(QStringLiteral("AlarmDetail1"));
    buildPanel();
    setBevestigenEnabled(m_deps.console != nullptr);
}

void AlarmDetail::buildPanel()
{
    m_naam = label(this, "lblnaam");
    QFont big = m_naam->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    m_naam->setFont(big);
    m_alias = label(this, "lblalias");
    m_alias->setFont(big);
    m_adres = label(this, "lbladres");
    m_plaats = label(this, "lblplaats");
    m_land = label(this, "lblland");
    m_telnr = label(this, "lbltelnr");

    m_alarmView = new QTreeWidget(this);
    m_alarmView->setObjectName(QStringLiteral("alarmView"));
    m_alarmView->setHeaderLabels({QStringLiteral("Melder"), QStringLiteral("Functie"), QStringLiteral("Omschrijving"),
                                  QStringLiteral("Flank"), QStringLiteral("Datum")});
    m_alarmView->setRootIsDecorated(false);
    m_alarmView->setAlternatingRowColors(true);
    m_alarmView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_alarmView->header()->setStretchLastSection(true);
    // A reprint on another printer, whenever the operator wants one.
    m_alarmView->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* reprint = new QAction(QStringLiteral("Afdrukken..."), m_alarmView);
    reprint->setObjectName(QStringLiteral("mnuAfdrukken"));
    m_alarmView->addAction(reprint);
    connect(reprint, &QAction::triggered, this, [this] {
        if (m_meldingId == 0)
            return;
        if (Status s = printMeldingWithDialog(m_deps.conn, m_meldingId, this); !s)
            reportPrintFailure(m_meldingId, s);
    });

    // Alt+V: Alt+B opens the Bestand menu.
    m_bevestig = new QPushButton(QStringLiteral("Be&vestigen"), this);
    m_bevestig->setObjectName(QStringLiteral("Command1"));
    m_bevestig->setMinimumHeight(m_bevestig->sizeHint().height() * 3 / 2);
    m_print = new QCheckBox(QStringLiteral("Afdrukken bij bevestigen"), this);
    m_print->setObjectName(QStringLiteral("chkprint"));
    connect(m_print, &QCheckBox::toggled, this, [this](bool on) { m_printFlag = on; });
    connect(m_bevestig, &QPushButton::clicked, this, &AlarmDetail::bevestig);

    auto* address = new QGridLayout;
    address->addWidget(m_naam, 0, 0);
    address->addWidget(m_alias, 0, 1);
    address->addWidget(m_adres, 1, 0, 1, 2);
    address->addWidget(m_plaats, 2, 0, 1, 2);
    address->addWidget(m_land, 3, 0);
    address->addWidget(m_telnr, 3, 1);
    address->setColumnStretch(1, 1);
    auto* actions = new QVBoxLayout;
    actions->addWidget(m_bevestig);
    actions->addWidget(m_print);
    actions->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(address, 1);
    top->addLayout(actions);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_alarmView, 1);
    // Tab reads the panel as the eye does: the button first, the list below.
    setTabOrder(m_bevestig, m_print);
    setTabOrder(m_print, m_alarmView);
}

Status AlarmDetail::showItem(qint64 meldingId)
{
    m_meldingId = meldingId;
    m_alarmView->clear();
    auto detail = loadMeldingDetail(m_deps.conn, meldingId);
    if (!detail)
        return Status::failure(detail.error());
    // No listed line: the labels keep what they showed.
    if (!detail->lines.isEmpty()) {
        m_naam->setText(detail->naam);
        m_alias->setText(QLatin1Char('(') + detail->alias + QLatin1Char(')'));
        m_adres->setText(detail->adres);
        m_plaats->setText(detail->plaats);
        m_land->setText(detail->land);
        m_telnr->setText(detail->telnr);
    }
    int key = 0;
    for (const DetailLine& l : detail->lines) {
        auto* item = new QTreeWidgetItem(m_alarmView, {l.melderNaam + QStringLiteral(" (") + l.melderAlias + QLatin1Char(')'),
                                                       l.functie, l.omschrijving, flankText(l.flank),
                                                       generalDateText(l.meldingDate)});
        item->setData(0, Qt::UserRole, QStringLiteral("Key_%1").arg(++key));
        // Columns share the width by fixed fractions and cut long texts off;
        // pointing at one shows it whole.
        for (int c = 0; c < item->columnCount(); ++c)
            item->setToolTip(c, item->text(c));
        // Every recipient the line went to, not only the last one.
        for (const DispatchState& s : l.dispatches) {
            auto* child = new QTreeWidgetItem(item);
            child->setText(0, QStringLiteral("    \u2192 %1, uitgemeld %2: %3")
                                  .arg(s.ontvanger, s.date.toString(QStringLiteral("dd-MM HH:mm")), s.stateText()));
            child->setFirstColumnSpanned(true);
            child->setToolTip(0, child->text(0).trimmed());
            QFont f = font();
            f.setItalic(true);
            child->setFont(0, f);
        }
        item->setExpanded(true);
    }
    presetPrintBox();
    return {};
}

void AlarmDetail::presetPrintBox()
{
    // With "Automatisch printen bij bevestiging" every report starts ticked;
    // the operator may still clear it for this one.
    auto settings = SettingsRepository(m_deps.conn).load();
    const bool on = settings && settings->has_value() && (*settings)->printdirect != 0;
    m_print->setChecked(on);
    m_printFlag = on;
}

void AlarmDetail::bevestig()
{
    if (!m_deps.console || m_meldingId == 0)
        return;
    const qint64 id = m_meldingId;
    const bool print = m_printFlag;
    if (!m_deps.console->bevestigMelding(id))
        return; // the console has logged why; the report stays listed
    Q_EMIT acknowledged(id);
    if (print)
        this->print(id);
}

bool AlarmDetail::printShown()
{
    return m_meldingId != 0 && print(m_meldingId);
}

bool AlarmDetail::print(qint64 meldingId)
{
    QString reason;
    Status s;
    if (std::unique_ptr<QPrinter> printer = m_deps.printers(&reason))
        s = printMelding(m_deps.conn, meldingId, *printer);
    else
        s = Status::failure(reason);
    if (s)
        return true;
    reportPrintFailure(meldingId, s);
    return false;
}

void AlarmDetail::reportPrintFailure(qint64 meldingId, const Status& failure)
{
    // The operator counted on paper: tell him now, not only in the log.
    const QString text = QStringLiteral("Melding %1 is niet afgedrukt: %2.").arg(meldingId).arg(failure.error());
    m_deps.eventLog.writeLog(text, 0);
    m_deps.prompt.ask(text, QStringLiteral("Afdrukken"), PromptFlags::Exclamation);
}

void AlarmDetail::setPrintEnabled(bool on)
{
    m_printEnabled = on;
    m_print->setVisible(on && m_bevestigenEnabled);
}

void AlarmDetail::setBevestigenEnabled(bool on)
{
    m_bevestigenEnabled = on;
    m_bevestig->setVisible(on);
    // The box prints on acknowledging; where nothing can be acknowledged it
    // would promise a printout that never comes.
    m_print->setVisible(on && m_printEnabled);
}

void AlarmDetail::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setColumnWidths();
}

void AlarmDetail::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setColumnWidths();
}

void AlarmDetail::setColumnWidths()
{
    // Fractions of the list's width, as the operators know them: the
    // description and the time get the room.
    const int w = m_alarmView->width() - 2 * m_alarmView->frameWidth();
    const int widths[] = {w / 8, w / 8, w / 4, w / 8, w / 4};
    for (int c = 0; c < 5; ++c)
        m_alarmView->setColumnWidth(c, widths[c]);
}

} // namespace taviro
