#pragma once

#include <QImage>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace taviro::test {

// A real X display with a window manager, as an operator's desktop has one:
// Xvfb on a display number the server picks itself (so parallel tests never
// meet), openbox managing it, and xdotool to press keys and click as a person
// does. Everything it starts ends with it.
class XSession
{
public:
    explicit XSession(QSize screen = QSize(1280, 800));
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    // ":N"
    const QString& display() const { return m_display; }
    QSize screen() const { return m_screen; }
    // What a program started on this display needs in its environment.
    QStringList environment() const;

    // Runs xdotool with these arguments and returns its standard output;
    // an empty string when it failed.
    QString xdotool(const QStringList& arguments) const;
    // Key names as xdotool knows them ("Tab", "alt+b", "Return"), one after
    // the other, sent to whatever window has the keyboard focus.
    bool keys(const QStringList& names) const;
    bool type(const QString& text) const;
    bool click(QPoint atScreen) const;
    // The whole screen as the operator sees it, window manager included.
    QImage screenshot() const;
    bool saveScreenshot(const QString& path) const;

    // A test program's main: the display is started before the application,
    // which then runs on it (xcb), and ended after the tests.
    static XSession* current();
    static int runTests(int argc, char** argv, QSize screen, const std::function<int(int, char**)>& tests);

private:
    bool startServer();
    bool startWindowManager();

    QSize m_screen;
    QString m_display;
    QString m_error;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
};

} // namespace taviro::test

// The main of a QtTest class that drives widgets on a real display with a
// window manager, at the given screen size.
#define TAVIRO_X_TEST_MAIN(TestClass, width, height)                                                        \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        return taviro::test::XSession::runTests(argc, argv, QSize(width, height), [](int c, char** v) {      \
            QApplication app(c, v);                                                                          \
            app.setAttribute(Qt::AA_Use96Dpi, true);                                                         \
            TestClass tc;                                                                                    \
            QTEST_SET_MAIN_SOURCE_PATH                                                                       \
            return QTest::qExec(&tc, c, v);                                                                  \
        });                                                                                                  \
    }
