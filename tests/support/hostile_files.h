#pragma once

// What another program, or another user, may leave where the program looks for its files: FIFOs,
// links to devices or to the user's other files, sparse giants; and the umask under which the
// program may run.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

// Sets the umask while it lives.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask)
        : m_saved(::umask(mask))
    { }
    ~ScopedUmask() { ::umask(m_saved); }
    ScopedUmask(const ScopedUmask &) = delete;
    ScopedUmask &operator=(const ScopedUmask &) = delete;

private:
    mode_t m_saved;
};

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

inline bool makeLink(const QString &target, const QString &path)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
}

// A file of that size that takes no room on the disk: all of it a hole, read as NUL bytes.
inline bool makeSparse(const QString &path, qint64 size)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, size) == 0;
    return ::close(fd) == 0 && ok;
}

inline bool isLink(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISLNK(status.st_mode);
}

inline bool isRegularFile(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// A file's permission bits, not following a link; -1 when it is missing.
inline int modeOf(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

inline bool setUserAttribute(const QString &path, const char *name, const QByteArray &value)
{
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(), size_t(value.size()), 0)
        == 0;
}

inline QByteArray userAttribute(const QString &path, const char *name)
{
    char value[256] = {};
    const ssize_t size = ::getxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return size < 0 ? QByteArray("<none>") : QByteArray(value, size);
}

// How far the process's resident memory rises above what it holds when the measure starts. The
// kernel's peak is reset at the start (Linux 4.0 and later), so that an earlier, higher peak hides
// nothing.
class PeakMemory
{
public:
    PeakMemory()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        m_reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        m_start = status("VmRSS:");
    }
    qint64 growth() const { return (m_reset ? status("VmHWM:") : status("VmRSS:")) - m_start; }

private:
    static qint64 status(const char *field)
    {
        QFile file(QStringLiteral("/proc/self/status"));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong() * 1024;
        }
        return 0;
    }

    bool m_reset = false;
    qint64 m_start = 0;
};
