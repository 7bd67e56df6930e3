// Hosting the detail view, the overviews and the pending-dispatch dialog.
#include "MainWindow.h"

#include "ActueelModel.h"
#include "AlarmDetail.h"
#include "Clock.h"
#include "Console.h"
#include "EventLog.h"
#include "OverzichtPanel.h"
#include "OverzichtViewer.h"
#include "PanelHost.h"
#include "PrinterChoice.h"
#include "UitmeldManagement.h"

#include <QTabWidget>
#include <QTableView>

namespace taviro {

void MainWindow::buildReports()
{
    m_detail = new AlarmDetail({m_deps.conn, &m_deps.console, m_deps.eventLog, m_deps.prompt,
                                [this](QString* reason) { return m_printerChoice->open(reason); }},
                               this);
    m_panels->addPanel(QStringLiteral("AlarmDetail1"), {m_detail, [this](qint64 id) {
                                                            if (Status s = m_detail->showItem(id); !s)
                                                                writeLog(QStringLiteral("Melding %1 kan niet worden getoond: %2")
                                                                             .arg(id)
                                                                             .arg(s.error()),
                                                                         0);
                                                        }, {}, {}});
    connect(m_detail, &AlarmDetail::acknowledged, this, &MainWindow::moveOnAfterAcknowledgement);

    m_viewer = new OverzichtViewer(m_deps.database, m_deps.eventLog.loggerPath(), m_deps.eventLog, m_bottomTabs);
    m_viewer->setPreferredPrinter([this] { return m_printerChoice->chosenName(); });
    m_bottomTabs->addTab(m_viewer, QStringLiteral("Overzicht"));
    connect(m_viewer, &OverzichtViewer::showRequested, this, [this] { m_bottomTabs->setCurrentIndex(2); });

    struct Overview
    {
        OverzichtPanel::Kind kind;
        const char* key;
    };
    for (const Overview& o : {Overview{OverzichtPanel::Kind::Periode, "Overzichten1"},
                              Overview{OverzichtPanel::Kind::Dag, "Overzicht2"}}) {
        auto* panel = new OverzichtPanel(o.kind, m_deps.conn, m_deps.clock, this);
        connect(panel, &OverzichtPanel::overzichtRequested, m_viewer, &OverzichtViewer::generate);
        m_panels->addPanel(QLatin1String(o.key), {panel, [panel](qint64) { panel->fillmelderlist(); }, {}, {}});
    }
}

void MainWindow::moveOnAfterAcknowledgement(qint64 meldingId)
{
    m_actueelModel->removeMelding(meldingId);
    // The operator works down the list: the next report opens at once.
    if (m_actueelModel->rowCount() > 0) {
        m_actueelList->selectRow(0);
        openMelding(m_actueelModel->meldingIdAt(0));
        return;
    }
    showActueel();
    actueelPressed(0);
}

void MainWindow::openUitmeldManagement()
{
    UitmeldManagement dialog(m_deps.conn, m_deps.eventLog, m_deps.prompt, m_deps.clock,
                             m_deps.console.gebruikerId(), this);
    dialog.exec();
}

} // namespace taviro
