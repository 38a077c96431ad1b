#pragma once

// Guards a piece of a test that must not block: were it to wait for ever (an open or a read of a
// FIFO with nobody at the other end), no timer of the test's own thread could fire. The watchdog's
// thread waits for the guarded code; past the limit it records that it fired and releases whatever
// waits on a FIFO under the given directories, by opening each from the other side, so that the
// test goes on and fails on fired() instead of hanging. Should even that not end the wait, it
// aborts the whole test program with a message.

#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class Watchdog
{
public:
    explicit Watchdog(
        QStringList directories, std::chrono::milliseconds limit = std::chrono::milliseconds(1000))
        : m_directories(std::move(directories))
    {
        // A write released into a FIFO whose reader then goes would raise SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        m_thread = std::thread([this, limit] { watch(limit); });
    }
    ~Watchdog() { stop(); }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    // Ends the watch: the guarded code is done. Whether the watchdog had to step in.
    bool stop()
    {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return m_fired;
    }
    bool fired() const { return m_fired; }

private:
    void watch(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_for(lock, limit, [this] { return m_done; }))
            return;
        m_fired = true;
        // Opened for reading and writing, a FIFO never blocks the opener and releases both kinds
        // of open on the other side; closed again, it gives a reader its end of file.
        for (int round = 0; round < 100 && !m_done; ++round) {
            QList<int> opened;
            for (const QString &directory : std::as_const(m_directories)) {
                QDirIterator it(
                    directory, QDir::System | QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
                while (it.hasNext()) {
                    const QByteArray name = QFile::encodeName(it.next());
                    struct stat status = {};
                    if (::lstat(name.constData(), &status) == 0 && S_ISFIFO(status.st_mode)) {
                        const int fd = ::open(name.constData(), O_RDWR | O_NONBLOCK);
                        if (fd >= 0)
                            opened << fd;
                    }
                }
            }
            m_changed.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_done; });
            char drain[4096];
            for (const int fd : std::as_const(opened)) {
                while (::read(fd, drain, sizeof drain) > 0) { }
                ::close(fd);
            }
        }
        if (!m_done) {
            std::fprintf(stderr, "watchdog: the guarded code still blocks after ten seconds more\n");
            std::abort();
        }
    }

    QStringList m_directories;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_done = false;
    std::atomic<bool> m_fired = false;
    std::thread m_thread;
};
