#include "XSession.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace taviro::test {

namespace {

XSession* g_current = nullptr;

QProcessEnvironment environmentFor(const QString& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    return env;
}

void end(std::unique_ptr<QProcess>& p)
{
    if (!p || p->state() == QProcess::NotRunning)
        return;
    p->terminate();
    if (!p->waitForFinished(3000)) {
        p->kill();
        p->waitForFinished(3000);
    }
}

} // namespace

XSession::XSession(QSize screen) : m_screen(screen)
{
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "import"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            m_error = QStringLiteral("%1 is niet geïnstalleerd").arg(QLatin1String(tool));
            return;
        }
    if (startServer())
        startWindowManager();
}

XSession::~XSession()
{
    end(m_windowManager);
    end(m_server);
    if (g_current == this)
        g_current = nullptr;
}

bool XSession::startServer()
{
    // The server writes the number it found free on this pipe once it
    // accepts connections, so no number is guessed and none is shared.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_error = QStringLiteral("pipe mislukt");
        return false;
    }
    m_server = std::make_unique<QProcess>();
    m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const int writeEnd = fds[1];
    m_server->setChildProcessModifier([writeEnd] { ::dup2(writeEnd, 3); });
    m_server->start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("3"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("%1x%2x24").arg(m_screen.width()).arg(m_screen.height()), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset")});
    ::close(fds[1]);
    QByteArray number;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(fds[0]);
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb gaf geen schermnummer");
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number);
    return true;
}

bool XSession::startWindowManager()
{
    m_windowManager = std::make_unique<QProcess>();
    m_windowManager->setProcessEnvironment(environmentFor(m_display));
    m_windowManager->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    // The manager is up once it names the current desktop on the root window.
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QProcess probe;
        probe.setProcessEnvironment(environmentFor(m_display));
        probe.start(QStringLiteral("xdotool"), {QStringLiteral("get_desktop")});
        if (probe.waitForFinished(5000) && probe.exitCode() == 0)
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("openbox kwam niet op");
    return false;
}

QStringList XSession::environment() const
{
    return {QStringLiteral("DISPLAY=") + m_display, QStringLiteral("QT_QPA_PLATFORM=xcb")};
}

QString XSession::xdotool(const QStringList& arguments) const
{
    QProcess p;
    p.setProcessEnvironment(environmentFor(m_display));
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    return out.isEmpty() ? QStringLiteral("\n") : out;
}

bool XSession::keys(const QStringList& names) const
{
    return !xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + names).isEmpty();
}

bool XSession::type(const QString& text) const
{
    return !xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text}).isEmpty();
}

bool XSession::click(QPoint at) const
{
    return !xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                     QStringLiteral("1")})
                .isEmpty();
}

QImage XSession::screenshot() const
{
    QProcess p;
    p.setProcessEnvironment(environmentFor(m_display));
    p.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")});
    if (!p.waitForFinished(20000))
        return {};
    return QImage::fromData(p.readAllStandardOutput(), "PNG");
}

bool XSession::saveScreenshot(const QString& path) const
{
    const QImage shot = screenshot();
    return !shot.isNull() && shot.save(path);
}

XSession* XSession::current()
{
    return g_current;
}

int XSession::runTests(int argc, char** argv, QSize screen, const std::function<int(int, char**)>& tests)
{
    XSession session(screen);
    if (!session.ok()) {
        std::fprintf(stderr, "Geen X-scherm met vensterbeheer: %s\n", qPrintable(session.error()));
        return 1;
    }
    g_current = &session;
    qputenv("DISPLAY", session.display().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    return tests(argc, argv);
}

} // namespace taviro::test
