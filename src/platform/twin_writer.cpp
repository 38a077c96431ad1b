#include "platform/twin_writer.h"

#include "platform/file_attributes.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr qsizetype BufferSize = 1 << 20;

TwinWriter::StepObserver stepObserver = nullptr;

// Copies the user.* extended attributes of a file to the open twin, all but the hidden flag. A
// file system without extended attributes has none to copy.
bool copyUserAttributes(const QString &from, int to)
{
    const QByteArray name = QFile::encodeName(from);
    ssize_t size = ::listxattr(name.constData(), nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP || errno == ENOENT;
    QByteArray names(size, Qt::Uninitialized);
    size = ::listxattr(name.constData(), names.data(), names.size());
    if (size < 0)
        return false;
    names.resize(size);
    for (const QByteArray &attribute : names.split('\0')) {
        if (!attribute.startsWith("user.") || attribute == HiddenAttributeName)
            continue;
        const ssize_t length = ::getxattr(name.constData(), attribute.constData(), nullptr, 0);
        if (length < 0)
            continue; // removed in between
        QByteArray value(length, Qt::Uninitialized);
        const ssize_t got = ::getxattr(name.constData(), attribute.constData(), value.data(), value.size());
        if (got < 0)
            continue;
        if (::fsetxattr(to, attribute.constData(), value.constData(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}

} // namespace

void TwinWriter::setStepObserver(StepObserver observer)
{
    stepObserver = observer;
}

void TwinWriter::announce(Step step, bool done)
{
    if (stepObserver)
        stepObserver(step, done);
}

TwinWriter::TwinWriter(QString target, QString twin)
    : m_target(std::move(target))
    , m_twin(std::move(twin))
{ }

TwinWriter::~TwinWriter()
{
    discard();
}

bool TwinWriter::create(mode_t mode, const QString &attributesOf, Leftover leftover)
{
    discard();
    m_adopted = false;
    const QByteArray name = QFile::encodeName(m_twin);
    struct stat status = {};
    // Kept, a name that is taken makes the open below fail.
    if (leftover == Leftover::Remove) {
        if (::lstat(name.constData(), &status) == 0) {
            // Our own twin, left by a run that ended before its rename, or a link: either goes.
            // What else stands there is not ours to remove.
            if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
                return false;
            if (::unlink(name.constData()) != 0)
                return false;
        } else if (errno != ENOENT) {
            return false;
        }
    }
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FileMode::New);
    m_written = 0;
    if (m_fd < 0)
        return false;
    // The mode given to open passes through the umask; this one does not.
    if (::fchmod(m_fd, mode) != 0 || (!attributesOf.isEmpty() && !copyUserAttributes(attributesOf, m_fd))) {
        discard();
        return false;
    }
    m_buffer.reserve(BufferSize);
    return true;
}

bool TwinWriter::writeOut(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0 && !m_failed) {
        // A block at a time, however much is given: the disk starts on each while the next is
        // copied, and the sync before the rename then waits for little more than the last. It
        // makes nothing durable by itself.
        announce(Step::Write, false);
        const ssize_t written = ::write(m_fd, data, size_t(std::min(left, BufferSize)));
        announce(Step::Write, true);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_failed = true;
            break;
        }
#ifdef __linux__
        ::sync_file_range(m_fd, m_written, written, SYNC_FILE_RANGE_WRITE);
#endif
        m_written += written;
        data += written;
        left -= written;
    }
    return !m_failed;
}

bool TwinWriter::flush()
{
    const bool written = writeOut(m_buffer);
    m_buffer.resize(0); // its memory stays for the next block
    return written;
}

bool TwinWriter::write(QByteArrayView bytes)
{
    if (m_fd < 0 || m_failed)
        return false;
    // Large pieces go to the file as they are, not through the buffer: after what it holds.
    const bool large = bytes.size() >= BufferSize / 4;
    if ((large || m_buffer.size() + bytes.size() > BufferSize) && !flush())
        return false;
    if (large)
        return writeOut(bytes);
    m_buffer.append(bytes.data(), bytes.size());
    return true;
}

bool TwinWriter::copyFrom(int fd, qint64 offset, qint64 length)
{
    if (m_fd < 0 || m_failed || !flush())
        return false;
    while (length > 0) {
        m_buffer.resize(qsizetype(qMin<qint64>(length, BufferSize)));
        const ssize_t got = ::pread(fd, m_buffer.data(), size_t(m_buffer.size()), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            m_buffer.clear();
            m_failed = true;
            return false;
        }
        m_buffer.resize(got);
        offset += got;
        length -= got;
        if (!flush())
            return false;
    }
    return true;
}

bool TwinWriter::copyRest(int fd)
{
    if (m_fd < 0 || m_failed || !flush())
        return false;
    for (;;) {
        m_buffer.resize(BufferSize);
        const ssize_t got = ::read(fd, m_buffer.data(), size_t(m_buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_buffer.clear();
            m_failed = true;
            return false;
        }
        m_buffer.resize(got);
        if (got == 0)
            return true;
        if (!flush())
            return false;
    }
}

bool TwinWriter::adopt()
{
    discard();
    // O_NONBLOCK: a FIFO in the twin's place must not make the open wait.
    m_fd = ::open(QFile::encodeName(m_twin).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    struct stat status = {};
    if (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_adopted = true;
    return true;
}

bool TwinWriter::commit()
{
    if (m_fd < 0 || m_failed || !flush()) {
        discard();
        return false;
    }
    announce(Step::Sync, false);
    bool ok = ::fdatasync(m_fd) == 0;
    announce(Step::Sync, true);
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    if (!ok || !renameOver(m_twin, m_target)) {
        removeTwin();
        return false;
    }
    m_twin.clear(); // renamed: nothing left to remove
    return true;
}

void TwinWriter::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
        removeTwin();
    }
    m_buffer.clear();
}

void TwinWriter::removeTwin()
{
    if (!m_adopted)
        ::unlink(QFile::encodeName(m_twin).constData());
}

bool TwinWriter::renameOver(const QString &from, const QString &target)
{
    const QByteArray targetName = QFile::encodeName(target);
    // Only a file or a link gives way: a FIFO or a device in the target's place was put there by
    // someone else and stays (a directory would refuse the rename anyway).
    struct stat status = {};
    if (::lstat(targetName.constData(), &status) == 0 && !S_ISREG(status.st_mode)
        && !S_ISLNK(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EEXIST;
        return false;
    }
    announce(Step::Rename, false);
    if (std::rename(QFile::encodeName(from).constData(), targetName.constData()) != 0)
        return false;
    announce(Step::Rename, true);
    // Make the new name itself durable.
    announce(Step::DirectorySync, false);
    syncDirectory(QFileInfo(target).absolutePath());
    announce(Step::DirectorySync, true);
    return true;
}

void TwinWriter::syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

mode_t FileMode::of(const QString &path, mode_t fallback)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return fallback;
    return status.st_mode & 07777;
}

mode_t FileMode::of(int fd, mode_t fallback)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return fallback;
    return status.st_mode & 07777;
}
