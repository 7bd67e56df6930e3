// Hosting the configuration editors in the window's panel area.
#include "MainWindow.h"

#include "AlarmLamp.h"
#include "Console.h"
#include "EditorFactory.h"
#include "NavigationTree.h"
#include "PanelHost.h"
#include "PrinterChoice.h"

#include <QStatusBar>

namespace taviro {

namespace {

struct EditorSlot
{
    const char* branch;
    const char* panel;
};

constexpr EditorSlot kEditors[] = {
    {"melders", "Melders1"},           {"ontvangers", "Ontvanger1"}, {"weekplanningen", "WeekPlanner1"},
    {"jaarplanningen", "JaarPlanner1"}, {"gebruikers", "gebruikers"}, {"comports", "communicatie"},
    {"settings", "settings"},
};

} // namespace

void MainWindow::buildEditors()
{
    Console& console = m_deps.console;
    m_editorContext = std::make_unique<EditorContext>(EditorContext{
        m_deps.conn, m_deps.prompt, m_deps.eventLog, m_deps.clock, console.scheduleCache(),
        [this] {
            if (m_deps.startServices)
                m_deps.startServices();
            m_deps.console.getSmsSettings();
            // The lamp port was prepared again with the services: the lamp
            // works as that preparation found, exactly as after start-up.
            m_deps.console.setLampActive(m_deps.lamp.active());
        },
        [this] {
            if (m_deps.restartMailReceiver)
                m_deps.restartMailReceiver();
        },
        [this](const QString& mobielnr, const QString& naam) { return m_deps.console.sendTestSms(mobielnr, naam); },
        [this](const QString& addresses, const QString& naam) { return m_deps.console.sendTestMail(addresses, naam); },
        [this]() -> Result<QString> {
            // Stored as a receiver stores a report, then taken in, listed,
            // dispatched and delivered by the same road as any alarm.
            auto made = m_deps.console.makeTestAlarms(1, 1);
            if (!made)
                return Result<QString>::failure(made.error());
            return m_deps.console.describeTestReport(*made);
        },
        [this] { return m_printerChoice->shownName(); },
        [this](const QString& name) { m_printerChoice->choose(name); }});
    for (const EditorSlot& slot : kEditors) {
        std::unique_ptr<EditorPanel> editor = createEditor(QLatin1String(slot.branch), *m_editorContext, this);
        if (!editor)
            continue;
        EditorPanel* panel = editor.release(); // owned by the window from here on
        connect(panel, &EditorPanel::treeChanged, m_tree, &NavigationTree::reloadBranch);
        connect(panel, &EditorPanel::closed, this, [this] { actueelPressed(0); });
        connect(panel, &EditorPanel::note, this, [this](const QString& text) { statusBar()->showMessage(text, 15000); });
        m_panels->replacePanel(QLatin1String(slot.panel),
                               {panel, [panel](qint64 id) { panel->showItem(id); }, [panel] { return panel->hideMe(); },
                                [panel] { return panel->currentId(); }});
    }
}

} // namespace taviro
