#include "EditorFixture.h"
#include "JaarPlannerPanel.h"
#include "SettingsPanel.h"
#include "WeekPlannerPanel.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>

using namespace taviro;
using namespace taviro::test;

// Renders every editor filled with the demo installation. With
// TAVIRO_SCREENSHOT_DIR set the pictures are kept there (docs/screenshots);
// otherwise the test still proves each panel lays out and paints offscreen.
class TestEditorScreenshots : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void render_data();
    void render();
};

using Maker = std::function<EditorPanel*(EditorContext&)>;
Q_DECLARE_METATYPE(Maker)

void TestEditorScreenshots::render_data()
{
    QTest::addColumn<Maker>("make");
    QTest::addColumn<qint64>("id");
    QTest::newRow("weekplanning") << Maker([](EditorContext& c) { return new WeekPlannerPanel(c); }) << qint64(1);
    QTest::newRow("settings") << Maker([](EditorContext& c) { return new SettingsPanel(c); }) << qint64(1);
    QTest::newRow("jaarplanning") << Maker([](EditorContext& c) { return new JaarPlannerPanel(c); }) << qint64(1);
}

void TestEditorScreenshots::render()
{
    QFETCH(Maker, make);
    QFETCH(qint64, id);
    EditorFixture f;
    std::unique_ptr<EditorPanel> panel(make(f.ctx));
    panel->resize(1100, 720);
    panel->show();
    panel->showItem(id);
    QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    const QPixmap shot = panel->grab();
    QVERIFY(!shot.isNull());
    QTemporaryDir scratch;
    QString dir = qEnvironmentVariable("TAVIRO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = scratch.path();
    QDir().mkpath(dir);
    QVERIFY(shot.save(dir + QLatin1Char('/') + QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png")));
}

QTEST_MAIN(TestEditorScreenshots)
#include "tst_editorscreenshots.moc"
