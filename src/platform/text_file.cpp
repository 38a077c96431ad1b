#include "platform/text_file.h"

#include "platform/line_reader.h"
#include "platform/twin_writer.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

int RegularFile::openForReading(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // A look first, so that no device is even opened; the check on the open file below is the one
    // that counts, since the name can change in between.
    struct stat status = {};
    if (::stat(name.constData(), &status) != 0)
        return -1;
    if (!S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
        return -1;
    }
    // Without O_NONBLOCK the open of a FIFO waits for a writer that never comes.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = error;
        return -1;
    }
    // A regular file never blocks, but the flag would still turn up in every later read's answer.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool RegularFile::open(QFile &file, const QString &path)
{
    const int fd = openForReading(path);
    if (fd < 0)
        return false;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

std::optional<QStringList> TextFile::readLines(const QString &path, qsizetype maxLines, qint64 mostBytes)
{
    QFile file;
    if (!RegularFile::open(file, path))
        return std::nullopt;
    QStringList lines;
    LineReader reader(file, qsizetype(qMin<qint64>(mostBytes, std::numeric_limits<qsizetype>::max())));
    QByteArrayView line;
    qint64 total = 0;
    while ((maxLines < 0 || lines.size() < maxLines) && reader.next(line)) {
        total += reader.length();
        if (reader.cut() || total > mostBytes)
            return std::nullopt;
        lines << Windows1252::decode(line);
    }
    if (reader.failed())
        return std::nullopt;
    return lines;
}

bool TextFile::replaceThroughTwin(
    const QString &target, const QString &twin, const QByteArray &bytes, mode_t mode)
{
    TwinWriter writer(target, twin);
    return writer.create(mode) && writer.write(bytes) && writer.commit();
}

bool TextFile::writeNew(const QString &path, QByteArrayView bytes, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status = {};
    if (::lstat(name.constData(), &status) == 0) {
        if ((!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode)) || ::unlink(name.constData()) != 0)
            return false;
    }
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        ok = written > 0;
        done += qMax<ssize_t>(written, 0);
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(name.constData());
    return ok;
}

bool TextFile::moveWithoutReplacing(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    // A rename never follows a link and, told so, never replaces a file. File systems that do not
    // know that flag get a hard link and the removal of the old name, which never replaces either.
    int result = ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        result = ::link(source.constData(), target.constData());
        if (result == 0)
            ::unlink(source.constData());
    }
    if (result != 0)
        return false;
    TwinWriter::syncDirectory(QFileInfo(to).absolutePath());
    return true;
}

QByteArray TextFile::encodeLines(const QStringList &lines)
{
    QByteArray bytes;
    for (const QString &line : lines) {
        bytes += Windows1252::encode(line);
        bytes += "\r\n";
    }
    return bytes;
}

namespace {

bool isDirectory(const QByteArray &path)
{
    struct stat status = {};
    return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isPlainDirectory(const QByteArray &path)
{
    struct stat status = {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

bool makePrivateDirectory(const QString &path, Parents parents)
{
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty())
        return false;
    // Each level from the top; those that exist stay as they are.
    qsizetype end = clean.startsWith(u'/') ? 1 : 0;
    while (end <= clean.size()) {
        qsizetype next = clean.indexOf(u'/', end);
        if (next < 0)
            next = clean.size();
        const QByteArray level = QFile::encodeName(clean.left(next));
        end = next + 1;
        if (level.isEmpty() || level == "/" || isDirectory(level))
            continue;
        if (parents == Parents::MustExist && next < clean.size())
            return false;
        if (::mkdir(level.constData(), 0700) != 0) {
            if (errno == EEXIST && isDirectory(level))
                continue;
            return false;
        }
        // The umask may have taken bits away, even the owner's; the mode is set on the directory
        // just made, never through a link put in its place. Without /proc the C library cannot
        // refuse links that way: a plain directory is then changed by its name.
        if (::fchmodat(AT_FDCWD, level.constData(), 0700, AT_SYMLINK_NOFOLLOW) != 0
            && !(errno == EOPNOTSUPP && isPlainDirectory(level) && ::chmod(level.constData(), 0700) == 0))
            return false;
    }
    return isDirectory(QFile::encodeName(clean));
}
