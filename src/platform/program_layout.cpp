#include "platform/program_layout.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The program's own folder under the user's data and configuration directories. Named here
// rather than through the application name, so that the user's files never move with it.
const QString Folder = QStringLiteral("Orvalia");

QString userDirectory(QStandardPaths::StandardLocation base)
{
    return QDir::cleanPath(QStandardPaths::writableLocation(base) + u'/' + Folder);
}

QString configurationRoot()
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

bool isDirectory(const QByteArray &path)
{
    struct stat status;
    return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isPlainDirectory(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

void syncDirectory(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
} // namespace

ProgramLayout ProgramLayout::portable(const QString &binaryDirectory)
{
    const QString beside = QDir::cleanPath(binaryDirectory);
    return {beside, beside, userDirectory(QStandardPaths::GenericConfigLocation), configurationRoot()};
}

ProgramLayout ProgramLayout::installed(const QString &binaryDirectory, const QString &soundsFromBinary)
{
    return {userDirectory(QStandardPaths::GenericDataLocation),
        QDir::cleanPath(binaryDirectory + u'/' + soundsFromBinary),
        userDirectory(QStandardPaths::GenericConfigLocation), configurationRoot()};
}

bool makePrivateDirectory(const QString &path)
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

Adoption adoptOldFile(const QString &oldDirectory, const QString &newDirectory, const QString &fileName)
{
    const QByteArray from = QFile::encodeName(QDir(oldDirectory).filePath(fileName));
    const QByteArray to = QFile::encodeName(QDir(newDirectory).filePath(fileName));
    struct stat status;
    if (::lstat(from.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return Adoption::NothingToMove;
    if (::lstat(to.constData(), &status) == 0)
        return Adoption::NothingToMove;

    // A rename never follows a link and, told so, never replaces a file. File systems that do not
    // know that flag get a hard link and the removal of the old name, which never replaces either.
    bool moved = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
    if (!moved && (errno == EINVAL || errno == ENOSYS)) {
        moved = ::link(from.constData(), to.constData()) == 0;
        if (moved)
            ::unlink(from.constData());
    }
    if (!moved)
        return errno == EEXIST ? Adoption::NothingToMove : Adoption::Kept;
    syncDirectory(newDirectory);
    syncDirectory(oldDirectory);
    return Adoption::Moved;
}
