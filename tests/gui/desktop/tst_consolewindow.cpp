// The real console program on a real desktop (Xvfb with openbox): it opens
// maximised and stays so at the screen sizes control rooms have.
#include "ChildProcess.h"
#include "TestDatabase.h"
#include "XSession.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace taviro;

namespace {

struct Geometry
{
    int x = -1, y = -1, width = 0, height = 0;
};

Geometry windowGeometry(const test::XSession& x, const QString& window)
{
    Geometry g;
    const QString shell = x.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    static const QRegularExpression field(QStringLiteral("^(X|Y|WIDTH|HEIGHT)=(-?\\d+)$"), QRegularExpression::MultilineOption);
    for (auto it = field.globalMatch(shell); it.hasNext();) {
        const auto m = it.next();
        const int v = m.captured(2).toInt();
        if (m.captured(1) == QLatin1String("X"))
            g.x = v;
        else if (m.captured(1) == QLatin1String("Y"))
            g.y = v;
        else if (m.captured(1) == QLatin1String("WIDTH"))
            g.width = v;
        else
            g.height = v;
    }
    return g;
}

} // namespace

class TestConsoleWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensMaximisedAndStaysSo_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::newRow("1280x800") << QSize(1280, 800);
        QTest::newRow("1920x1080") << QSize(1920, 1080);
    }
    void opensMaximisedAndStaysSo()
    {
        QFETCH(QSize, screen);
        test::XSession x(screen);
        QVERIFY2(x.ok(), qPrintable(x.error()));
        test::TestDatabase db(true);
        QProcess console;
        // The console ends leftover services machine-wide when it starts: in
        // a process namespace of its own it finds only its own.
        QStringList env = x.environment();
        env << QStringLiteral("TAVIRO_DATABASE=") + db.path() << QStringLiteral("TAVIRO_NONINTERACTIVE=1")
            << QStringLiteral("TAVIRO_NO_SOUND=1") << QStringLiteral("TAVIRO_LOGGER_DIR=") + db.folder() + QStringLiteral("/Logger")
            << QStringLiteral("TAVIRO_INSTANCE_LOCK=") + db.folder() + QStringLiteral("/taviro.lock");
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : env)
            pe.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
        console.setProcessEnvironment(pe);
        console.start(QStringLiteral("unshare"), {QStringLiteral("--pid"), QStringLiteral("--fork"), QStringLiteral("--mount-proc"),
                                                  QStringLiteral("--kill-child=SIGTERM"), test::binDir() + QStringLiteral("/taviro"),
                                                  QStringLiteral("op1"), QStringLiteral("geheim"), QStringLiteral("bemand")});
        const auto end = qScopeGuard([&console] { test::stopProgramInNamespace(console); });
        QVERIFY2(test::waitForStderr(console, QStringLiteral("Taviro gestart"), 60000), qPrintable(test::stderrSeen(console)));

        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(window = x.xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                  QStringLiteral("^Taviro$")})
                           .trimmed()
                           .section(QLatin1Char('\n'), 0, 0))
                 .isEmpty(),
            10000);
        // Looked at twice: after the load, and once the window manager has
        // answered whatever the console asked of it since.
        for (int look = 0; look < 2; ++look) {
            QTest::qWait(1500);
            const Geometry g = windowGeometry(x, window);
            const QString seen = QStringLiteral("%1,%2 %3x%4").arg(g.x).arg(g.y).arg(g.width).arg(g.height);
            // xdotool counts the frame's offset twice in Y under a
            // reparenting manager; the size is what tells: the whole width,
            // and the height less the title bar.
            QVERIFY2(g.width >= screen.width() - 8, qPrintable(seen));
            QVERIFY2(g.height <= screen.height() && g.height >= screen.height() - 60, qPrintable(seen));
        }
        if (const QString dir = qEnvironmentVariable("TAVIRO_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QDir().mkpath(dir);
            x.saveScreenshot(QStringLiteral("%1/console-%2x%3.png").arg(dir).arg(screen.width()).arg(screen.height()));
        }
    }
};

QTEST_MAIN(TestConsoleWindow)
#include "tst_consolewindow.moc"
