#include "OverviewRoom.h"

#include "PanelHost.h"

#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>

namespace taviro {

OverviewRoom::OverviewRoom(QSplitter& splitter, QTabWidget& tabs, QWidget& overviewPage, PanelHost& panels,
                           QObject* parent)
    : QObject(parent), m_splitter(splitter), m_tabs(tabs), m_page(overviewPage)
{
    connect(&m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_tabs.widget(index) == &m_page)
            makeRoom();
        else
            giveBack();
    });
    // A click on the page already on view changes no page, yet asks for it.
    connect(&m_tabs, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (m_tabs.widget(index) == &m_page)
            makeRoom();
    });
    connect(&panels, &PanelHost::panelShown, this, [this](const QString& key) {
        // The panels that ask for an overview and the alarm summary sit above
        // it; an editor needs its room back.
        static const QStringList besideTheOverview{QStringLiteral("actueel"), QStringLiteral("Overzichten1"),
                                                   QStringLiteral("Overzicht2")};
        if (!besideTheOverview.contains(key))
            giveBack();
    });
    connect(&m_splitter, &QSplitter::splitterMoved, this, [this] { m_saved.clear(); });
}

int OverviewRoom::wantedHeight() const
{
    // A report row of the overview's table is a line of text with the
    // cell's padding; the heading and column titles take about four more.
    const int row = m_page.fontMetrics().lineSpacing() + 8;
    return m_tabs.tabBar()->sizeHint().height() + 48 + (kRows + 4) * row;
}

void OverviewRoom::makeRoom()
{
    const QList<int> sizes = m_splitter.sizes();
    if (sizes.size() != 2)
        return;
    const int total = sizes[0] + sizes[1];
    // The panel above keeps a fifth of the height, so its buttons stay in reach.
    const int bottom = qMin(wantedHeight(), total * 4 / 5);
    if (sizes[1] >= bottom)
        return;
    if (m_saved.isEmpty())
        m_saved = sizes;
    m_splitter.setSizes({total - bottom, bottom});
}

void OverviewRoom::giveBack()
{
    if (m_saved.isEmpty())
        return;
    const QList<int> saved = m_saved;
    m_saved.clear();
    m_splitter.setSizes(saved);
}

} // namespace taviro
