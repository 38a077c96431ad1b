#pragma once

// What another program, or another user, may leave where the program looks for its files: FIFOs,
// links to devices or to the user's other files, sparse giants; and the umask under which the
// program may run.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/resource.h>
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

// The largest resident memory of the process so far, in bytes.
inline qint64 peakMemory()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}
