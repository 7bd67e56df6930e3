#include "UitmeldManagement.h"

#include "Clock.h"
#include "EventLog.h"
#include "OperatorPrompt.h"
#include "PendingDispatches.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace taviro {

UitmeldManagement::UitmeldManagement(const DatabaseConnector& conn, EventLog& eventLog, OperatorPrompt& prompt,
                                     const Clock& clock, qint64 gebruikerId, QWidget* parent)
    : QDialog(parent), m_conn(conn), m_log(eventLog), m_prompt(prompt), m_clock(clock), m_gebruikerId(gebruikerId)
{
    setObjectName(QStringLiteral("frmUitmeldManagement"));
    setWindowTitle(QStringLiteral("Openstaande uitmeldingen"));
    setModal(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("actueelList"));
    m_list->setHeaderLabels({QStringLiteral("Melder"), QStringLiteral("Alias"), QStringLiteral("Datum")});
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->setSortingEnabled(true);
    m_detail = new AlarmDetail({conn, nullptr, eventLog, prompt}, this);
    m_detail->hide();

    m_delete = new QPushButton(QStringLiteral("Alle openstaande uitmeldingen verwijderen"), this);
    m_delete->setObjectName(QStringLiteral("deleteUitmeldingenButton"));
    auto* close = new QPushButton(QStringLiteral("Sluiten"), this);
    close->setObjectName(QStringLiteral("Command2"));

    // The list above the detail, sharing the window's height.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_list);
    split->addWidget(m_detail);
    split->setChildrenCollapsible(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_delete);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);

    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { itemClicked(item); });
    connect(m_delete, &QPushButton::clicked, this, &UitmeldManagement::deleteUitmeldingen);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(820, 620);
    const int w = 800;
    m_list->setColumnWidth(0, w / 3);
    m_list->setColumnWidth(1, w / 3);
    m_list->setColumnWidth(2, w / 4);
    showUitmeldingen();
}

void UitmeldManagement::showUitmeldingen()
{
    m_list->clear();
    auto open = listOpenMeldingen(m_conn);
    if (!open)
        m_log.writeLog(QStringLiteral("Openstaande uitmeldingen kunnen niet worden gelezen: %1").arg(open.error()), 1);
    const QList<OpenMelding> rows = open ? *open : QList<OpenMelding>();
    for (const OpenMelding& m : rows) {
        const QString naam = m.escalated ? m.naam + QStringLiteral(" (escalatie)") : m.naam;
        auto* item = new QTreeWidgetItem(
            m_list, {naam, m.adres, m.meldingDate.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))});
        item->setData(0, Qt::UserRole, m.meldingId);
    }
    m_delete->setEnabled(!rows.isEmpty());
    m_list->sortByColumn(2, Qt::DescendingOrder);
}

void UitmeldManagement::itemClicked(QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (Status s = m_detail->showItem(item->data(0, Qt::UserRole).toLongLong()); !s)
        m_log.writeLog(QStringLiteral("Melding kan niet worden getoond: %1").arg(s.error()), 1);
    m_detail->show();
}

void UitmeldManagement::deleteUitmeldingen()
{
    if (m_prompt.ask(QStringLiteral("Weet u zeker dat u alle nog openstaande uitmeldingen wilt verwijderen?"),
                     QStringLiteral("Taviro"), PromptFlags::YesNo)
        != PromptAnswer::Yes)
        return;
    QList<qint64> ids;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        ids << m_list->topLevelItem(i)->data(0, Qt::UserRole).toLongLong();

    QProgressDialog progress(QStringLiteral("Openstaande uitmeldingen worden gesloten..."), QString(), 0,
                             int(ids.size()), this);
    progress.setObjectName(QStringLiteral("uitmeldProgress"));
    progress.setWindowTitle(QStringLiteral("Taviro"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    auto closed = closeOpenDispatches(m_conn, ids, {m_gebruikerId, m_clock.now()},
                                      [&progress](int done, int) { progress.setValue(done); });
    progress.setValue(int(ids.size()));
    showUitmeldingen();
    if (!closed) {
        // Nothing was closed; the list shows them all again.
        m_log.writeLog(QStringLiteral("Openstaande uitmeldingen konden niet worden gesloten: %1").arg(closed.error()), 0);
        return;
    }
    m_log.writeLog(QStringLiteral("Alle openstaande uitmeldingen zijn verwijderd."), 0);
}

} // namespace taviro
