#include "EditorFactory.h"
#include "EditorFixture.h"
#include "Repositories.h"

#include <QDir>
#include <QTemporaryDir>

#include <utility>

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

void TestEditorScreenshots::render_data()
{
    QTest::addColumn<QString>("branch");
    QTest::addColumn<qint64>("id");
    QTest::newRow("melders") << "melders" << qint64(1);
    QTest::newRow("ontvangers") << "ontvangers" << qint64(4);
    QTest::newRow("weekplanning") << "weekplanningen" << qint64(1);
    QTest::newRow("jaarplanning") << "jaarplanningen" << qint64(1);
    QTest::newRow("comports") << "comports" << qint64(2);
    QTest::newRow("settings") << "settings" << qint64(0);
    QTest::newRow("gebruikers") << "gebruikers" << qint64(1);
}

void TestEditorScreenshots::render()
{
    QFETCH(QString, branch);
    QFETCH(qint64, id);
    EditorFixture f;
    // Ports as a site has them: a receiving modem, the SMS modem, the lamp.
    for (auto [number, designation] : {std::pair{1, 1}, {2, 2}, {3, 5}}) {
        ComPort p;
        p.number = number;
        p.designation = designation;
        p.baudrate = designation == 5 ? 0 : 9600;
        p.string = QStringLiteral("AT&FE0");
        p.timeout = 15;
        p.is_gsm = designation == 2;
        QVERIFY(ComPortRepository(*f.conn).insert(p).ok());
    }
    std::unique_ptr<EditorPanel> panel = createEditor(branch, f.ctx);
    QVERIFY(panel);
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
    QVERIFY(shot.save(dir + QLatin1Char('/') + QString::fromLatin1(QTest::currentDataTag()) +
                      QStringLiteral(".png")));
}

QTEST_MAIN(TestEditorScreenshots)
#include "tst_editorscreenshots.moc"
