#pragma once

// A private X server (Xvfb) with the Openbox window manager, and what a test needs to drive and
// judge real windows there: the windows the window manager manages, their stacking, titles,
// owners and places, the active window, the screen's pixels, and real mouse and keyboard input
// (xdotool). Every wait is bounded.

#include <QImage>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

using WindowId = quint32;

class XSession
{
public:
    XSession() = default;
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    // Starts Xvfb on a display number it chooses itself (never one in use) with a screen of the
    // given size, then Openbox. False, with the reason, when no X server could be started.
    bool startServer(QSize screen, QString *why);
    // False, with the reason, when the window manager did not come up.
    bool startWindowManager(QString *why);

    QString display() const { return m_display; }
    // The environment of a program shown on this display.
    QProcessEnvironment environment(const QProcessEnvironment &base) const;

    // Runs an X tool to its end (at most a few seconds) and returns what it printed.
    QString tool(const QString &program, const QStringList &arguments) const;

    // The managed windows, bottom to top (_NET_CLIENT_LIST_STACKING).
    QList<WindowId> stacking() const;
    WindowId activeWindow() const;
    QString title(WindowId window) const;
    WindowId transientFor(WindowId window) const;
    // The client area on the screen.
    QRect geometry(WindowId window) const;
    // The frame the window manager drew around it: left, right, top, bottom.
    QMargins frameExtents(WindowId window) const;

    // The managed window whose title is exactly this one; 0 when there is none.
    WindowId findWindow(const QString &title) const;
    WindowId waitForWindow(const QString &title, std::chrono::milliseconds limit) const;
    bool waitUntilGone(const QString &title, std::chrono::milliseconds limit) const;
    bool waitUntilActive(WindowId window, std::chrono::milliseconds limit) const;

    // Real input through the X server's test extension.
    void click(QPoint onScreen) const;
    void clickIn(WindowId window, QPoint inClient) const;
    // The close box at the right end of the title bar.
    void clickCloseBox(WindowId window) const;
    void key(const QString &keys) const; // xdotool names: "Return", "alt+h", "Tab"
    void type(const QString &text) const; // ASCII
    void moveWindow(WindowId window, QPoint topLeftOfFrame) const;

    QImage screenshot() const;
    // Saves a screenshot to the directory named by ORVALIA_DESKTOP_SHOTS, when it is set.
    static bool keepingScreenshots();
    void keepScreenshot(const QString &name) const;

private:
    QProcess m_server;
    QProcess m_windowManager;
    QString m_display;
    QString m_runtimeDir;
};

// A process that ends with the test, however the test ends (a crash, CTest's time limit).
void endsWithTheTest(QProcess &process);

// Polls the condition until it holds or the limit passes; true when it held.
bool waitFor(const std::function<bool()> &condition, std::chrono::milliseconds limit);
