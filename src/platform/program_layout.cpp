#include "platform/program_layout.h"

#include "platform/text_file.h"
#include "platform/twin_writer.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

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

Adoption adoptOldFile(const QString &oldDirectory, const QString &newDirectory, const QString &fileName)
{
    const QString from = QDir(oldDirectory).filePath(fileName);
    const QString to = QDir(newDirectory).filePath(fileName);
    struct stat status = {};
    if (::lstat(QFile::encodeName(from).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return Adoption::NothingToMove;
    if (::lstat(QFile::encodeName(to).constData(), &status) == 0)
        return Adoption::NothingToMove;
    if (!TextFile::moveWithoutReplacing(from, to))
        return errno == EEXIST ? Adoption::NothingToMove : Adoption::Kept;
    TwinWriter::syncDirectory(oldDirectory);
    return Adoption::Moved;
}
