#include "x_session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMargins>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int ToolLimitMs = 10000;

// "... window id # 0x400010, 0x40001a" and the like: the numbers after the '#' or '='.
QList<quint32> numbersAfterMark(const QString &line)
{
    QList<quint32> numbers;
    const qsizetype mark = std::max(line.indexOf(u'#'), line.indexOf(u'='));
    if (mark < 0)
        return numbers;
    const QStringList parts = line.mid(mark + 1).split(u',', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        bool ok = false;
        const quint32 value = part.trimmed().toUInt(&ok, 0);
        if (ok)
            numbers << value;
    }
    return numbers;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

void endsWithTheTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (condition())
            return true;
        if (clock.elapsed() > limit.count())
            return false;
        QThread::msleep(50);
    }
}

XSession::~XSession()
{
    stop(m_windowManager);
    stop(m_server);
    if (!m_runtimeDir.isEmpty())
        QDir(m_runtimeDir).removeRecursively();
}

bool XSession::startServer(QSize screen, QString *why)
{
    // Xvfb picks a free display number and writes it to the descriptor it is given.
    int fds[2];
    if (::pipe(fds) != 0) {
        *why = QStringLiteral("no pipe for the display number");
        return false;
    }
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    endsWithTheTest(m_server);
    m_server.setProgram(QStringLiteral("Xvfb"));
    m_server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
        QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
        QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
    m_server.setStandardOutputFile(QProcess::nullDevice());
    m_server.setStandardErrorFile(QProcess::nullDevice());
    m_server.start();
    const bool started = m_server.waitForStarted(10000);
    ::close(fds[1]);
    if (!started) {
        ::close(fds[0]);
        *why = QStringLiteral("Xvfb cannot be run: ") + m_server.errorString();
        return false;
    }
    QByteArray number;
    QElapsedTimer clock;
    clock.start();
    while (!number.contains('\n') && clock.elapsed() < 20000) {
        pollfd wanted {fds[0], POLLIN, 0};
        if (::poll(&wanted, 1, 200) > 0) {
            char buffer[32];
            const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            number.append(buffer, got);
        }
    }
    ::close(fds[0]);
    bool ok = false;
    const int display = number.trimmed().toInt(&ok);
    if (!ok) {
        stop(m_server);
        *why = QStringLiteral("Xvfb did not start a display");
        return false;
    }
    m_display = QStringLiteral(":%1").arg(display);
    return true;
}

bool XSession::startWindowManager(QString *why)
{
    // Openbox with its own home, so that no user configuration changes what the tests see.
    m_runtimeDir
        = QDir::temp().filePath(QStringLiteral("orvalia-openbox-%1").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(m_runtimeDir);
    QProcessEnvironment env = environment(QProcessEnvironment::systemEnvironment());
    env.insert(QStringLiteral("HOME"), m_runtimeDir);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_runtimeDir);
    endsWithTheTest(m_windowManager);
    m_windowManager.setProcessEnvironment(env);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.setStandardErrorFile(QProcess::nullDevice());
    m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_windowManager.waitForStarted(10000)) {
        *why = QStringLiteral("openbox cannot be run: ") + m_windowManager.errorString();
        return false;
    }
    const bool up = waitFor(
        [this] {
            return tool(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(u'#');
        },
        20s);
    if (!up)
        *why = QStringLiteral("openbox did not take the screen");
    return up;
}

QProcessEnvironment XSession::environment(const QProcessEnvironment &base) const
{
    QProcessEnvironment env = base;
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // Nothing of the session the tests run in: no Wayland, no session manager, no message bus.
    for (const char *name : {"WAYLAND_DISPLAY", "SESSION_MANAGER", "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY"})
        env.remove(QLatin1String(name));
    return env;
}

QString XSession::tool(const QString &program, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    process.start(program, arguments);
    if (!process.waitForFinished(ToolLimitMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QList<WindowId> XSession::stacking() const
{
    return numbersAfterMark(tool(QStringLiteral("xprop"),
        {QStringLiteral("-root"), QStringLiteral("-notype"), QStringLiteral("_NET_CLIENT_LIST_STACKING")}));
}

WindowId XSession::activeWindow() const
{
    const QList<quint32> ids = numbersAfterMark(tool(QStringLiteral("xprop"),
        {QStringLiteral("-root"), QStringLiteral("-notype"), QStringLiteral("_NET_ACTIVE_WINDOW")}));
    return ids.isEmpty() ? 0 : ids.constFirst();
}

QString XSession::title(WindowId window) const
{
    const QString line = tool(QStringLiteral("xprop"),
        {QStringLiteral("-notype"), QStringLiteral("-id"), QString::number(window),
            QStringLiteral("_NET_WM_NAME")})
                             .trimmed();
    const qsizetype first = line.indexOf(u'"');
    const qsizetype last = line.lastIndexOf(u'"');
    if (first < 0 || last <= first)
        return {};
    return line.mid(first + 1, last - first - 1).replace(QStringLiteral("\\\""), QStringLiteral("\""));
}

WindowId XSession::transientFor(WindowId window) const
{
    const QList<quint32> ids = numbersAfterMark(tool(QStringLiteral("xprop"),
        {QStringLiteral("-notype"), QStringLiteral("-id"), QString::number(window),
            QStringLiteral("WM_TRANSIENT_FOR")}));
    return ids.isEmpty() ? 0 : ids.constFirst();
}

QRect XSession::geometry(WindowId window) const
{
    const QString info = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)});
    const auto value = [&info](const char *name) {
        const QRegularExpression pattern(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return pattern.match(info).captured(1).toInt();
    };
    return {value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")};
}

QMargins XSession::frameExtents(WindowId window) const
{
    const QList<quint32> v = numbersAfterMark(tool(QStringLiteral("xprop"),
        {QStringLiteral("-notype"), QStringLiteral("-id"), QString::number(window),
            QStringLiteral("_NET_FRAME_EXTENTS")}));
    if (v.size() != 4)
        return {};
    return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
}

WindowId XSession::findWindow(const QString &wanted) const
{
    const QList<WindowId> windows = stacking();
    for (WindowId window : windows) {
        if (title(window) == wanted)
            return window;
    }
    return 0;
}

WindowId XSession::waitForWindow(const QString &wanted, std::chrono::milliseconds limit) const
{
    WindowId found = 0;
    waitFor([&] { return (found = findWindow(wanted)) != 0; }, limit);
    return found;
}

bool XSession::waitUntilGone(const QString &wanted, std::chrono::milliseconds limit) const
{
    return waitFor([&] { return findWindow(wanted) == 0; }, limit);
}

bool XSession::waitUntilActive(WindowId window, std::chrono::milliseconds limit) const
{
    return waitFor([&] { return activeWindow() == window; }, limit);
}

void XSession::click(QPoint onScreen) const
{
    // The server takes the move before the click; no --sync, which waits for a motion forever
    // when the pointer is there already.
    tool(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(onScreen.x()), QString::number(onScreen.y()),
            QStringLiteral("click"), QStringLiteral("1")});
}

void XSession::clickIn(WindowId window, QPoint inClient) const
{
    click(geometry(window).topLeft() + inClient);
}

void XSession::clickCloseBox(WindowId window) const
{
    // Openbox puts the close box last in the title bar, as high as the bar and square.
    const QRect client = geometry(window);
    const QMargins frame = frameExtents(window);
    const int half = frame.top() / 2;
    click(QPoint(client.right() + frame.right() - half - 1, client.top() - half));
}

void XSession::key(const QString &keys) const
{
    tool(QStringLiteral("xdotool"),
        QStringList {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")}
            + keys.split(u' '));
}

void XSession::type(const QString &text) const
{
    tool(QStringLiteral("xdotool"),
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

void XSession::moveWindow(WindowId window, QPoint topLeftOfFrame) const
{
    tool(QStringLiteral("xdotool"),
        {QStringLiteral("windowmove"), QString::number(window), QString::number(topLeftOfFrame.x()),
            QString::number(topLeftOfFrame.y())});
}

QImage XSession::screenshot() const
{
    QProcess process;
    process.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    process.start(QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")});
    if (!process.waitForFinished(ToolLimitMs))
        return {};
    return QImage::fromData(process.readAllStandardOutput(), "PNG");
}

bool XSession::keepingScreenshots()
{
    return !qEnvironmentVariableIsEmpty("ORVALIA_DESKTOP_SHOTS");
}

void XSession::keepScreenshot(const QString &name) const
{
    const QString directory = qEnvironmentVariable("ORVALIA_DESKTOP_SHOTS");
    if (directory.isEmpty())
        return;
    QDir().mkpath(directory);
    screenshot().save(QDir(directory).filePath(name + QStringLiteral(".png")));
}
