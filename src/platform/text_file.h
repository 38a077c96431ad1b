#pragma once

// The lines are Windows-1252: the code page comes with them.
#include "platform/windows1252.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

class QFile;

// Reading and writing the program's small files: Windows-1252 text, every line ended by CR LF.

// Files the program finds are opened as if hostile: only a regular file is read, and nothing
// another program put in its place (a FIFO, a device, a socket) can make an open block.
namespace RegularFile {

// Opens an existing regular file for reading, following links. A FIFO, device, socket or
// directory is refused without blocking (errno ENXIO, or EISDIR for a directory). -1 on failure.
[[nodiscard]] int openForReading(const QString &path);

// The same, with the descriptor handed to file, which closes it.
[[nodiscard]] bool open(QFile &file, const QString &path);

} // namespace RegularFile

namespace TextFile {

// The most a reader of the small files (options, password, update information) takes in: a file
// that holds more before the lines wanted is unreadable.
inline constexpr qint64 MostBytes = 64 * 1024 * 1024;

// Lines of a file, decoded; nothing when it cannot be read or is not a regular file. With
// maxLines >= 0 reading stops after that many lines; more than mostBytes before that is a failure.
std::optional<QStringList> readLines(
    const QString &path, qsizetype maxLines = -1, qint64 mostBytes = MostBytes);

// Writes bytes to a new twin (see TwinWriter), flushes them to the disk and renames the twin over
// target in one step: at every moment target holds either its old content or the new one. On
// failure the twin is removed and target is untouched. The new file's permission bits are mode,
// whatever the umask.
[[nodiscard]] bool replaceThroughTwin(
    const QString &target, const QString &twin, const QByteArray &bytes, mode_t mode = 0600);

// Creates path afresh with these bytes and permission bits: a file or a link left at its name is
// removed first and the new file made with O_EXCL and O_NOFOLLOW, so the write never goes through
// a link; anything else at the name (a FIFO, a directory) stays and the write fails. Not flushed:
// for files that matter only until the program is done with them.
[[nodiscard]] bool writeNew(const QString &path, QByteArrayView bytes, mode_t mode = 0600);

// Gives the file at from the name to, in one step, only when nothing has that name: a file there
// is never replaced and a link is neither followed nor replaced. The folder is flushed after.
// False when the name is taken (errno EEXIST) or the rename fails.
[[nodiscard]] bool moveWithoutReplacing(const QString &from, const QString &to);

// Lines with CR LF after each, in Windows-1252.
QByteArray encodeLines(const QStringList &lines);

} // namespace TextFile

// Makes the directory, and with Parents::Make every missing directory above it, readable by the
// user alone (0700), whatever the umask; a directory that exists, or a link to one, is left as it
// is. False when the path is not a directory afterwards: with Parents::MustExist, when a directory
// above it is missing.
enum class Parents { Make, MustExist };
[[nodiscard]] bool makePrivateDirectory(const QString &path, Parents parents = Parents::Make);
