#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QString>

#include <chrono>
#include <cstdio>

// What the benchmark and its start-up program share: the clock, the paint counter that tells
// when the list was shown, and the wait for the window to finish what a handler started.

namespace BenchWindow {

// steady_clock is CLOCK_MONOTONIC: its times compare across processes.
using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

inline long long nanosOf(Clock::time_point moment)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch()).count();
}

inline Clock::time_point momentOf(long long nanos)
{
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanos)));
}

// Counts the paints of every widget of the program, and those of the list's viewport.
class PaintCounter : public QObject
{
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }

    int all = 0;
    int list = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++all;
            const QObject *parent = watched->parent();
            if (parent && parent->objectName() == u"List1")
                ++list;
        }
        return false;
    }
};

// Lets the window finish what a handler started (delayed layouts, repaints) and returns the
// moment its last paint ended, or handlerEnd when nothing was painted. Two passes in a row that
// paint nothing end it.
inline Clock::time_point settle(PaintCounter &paints, Clock::time_point handlerEnd)
{
    Clock::time_point lastPaint = handlerEnd;
    for (int idle = 0; idle < 2;) {
        const int before = paints.all;
        QCoreApplication::processEvents();
        if (paints.all != before) {
            lastPaint = Clock::now();
            idle = 0;
        } else {
            ++idle;
        }
    }
    return lastPaint;
}

// Runs the event loop until the list has been painted once more than before; false when that
// takes longer than limitMs.
inline bool waitForListPaint(PaintCounter &paints, int before, double limitMs = 600'000)
{
    const auto start = Clock::now();
    while (paints.list == before) {
        QCoreApplication::processEvents();
        if (msBetween(start, Clock::now()) > limitMs)
            return false;
    }
    return true;
}

// The offscreen platform's notes about window hints say nothing about the program.
inline void quietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || message.contains(u"propagateSizeHints") || message.contains(u"XDG_RUNTIME_DIR"))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace BenchWindow
