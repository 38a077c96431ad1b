#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

class QFile;
class QIODevice;

// The program's files are Windows-1252 text, every line ended by CR LF.

namespace Windows1252 {

// Byte to character as Windows converts it. The five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number, so that every byte
// sequence survives a decode and an encode unchanged.
QString decode(QByteArrayView bytes);

// Character to byte; characters outside the code page become '?'.
QByteArray encode(QStringView text);

bool canEncode(QChar c);

} // namespace Windows1252

// Reads a device line by line in large blocks. A line ends at LF; a CR right before the LF is
// not part of the line. A last line without a line end is a line too.
class LineReader
{
public:
    explicit LineReader(QIODevice &device);

    // The next line, valid until the next call; false at the end or on a read error.
    bool next(QByteArrayView &line);

    bool failed() const { return m_failed; }

private:
    bool fill();

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    bool m_atEnd = false;
    bool m_failed = false;
};

namespace TextFile {

// All lines of a file, decoded; nothing when it cannot be read. With maxLines >= 0 reading stops
// after that many lines.
std::optional<QStringList> readLines(const QString &path, qsizetype maxLines = -1);

// Writes bytes to the twin, flushes them to the disk and renames the twin over target in one
// step: at every moment target holds either its old content or the new one. On failure the twin
// is removed and target is untouched. ownerOnly creates the twin readable by its owner alone.
bool replaceThroughTwin(const QString &target, const QString &twin, const QByteArray &bytes,
                        bool ownerOnly = false);

// Flushes an open file to the disk, closes it and renames it over target in one step. On failure
// the file is removed and target is untouched.
bool commitTwin(QFile &twin, const QString &target);

// Renames from over target in one step and makes the new name durable. False, with both files as
// they were, when the rename fails.
bool renameOver(const QString &from, const QString &target);

// Lines with CR LF after each, in Windows-1252.
QByteArray encodeLines(const QStringList &lines);

} // namespace TextFile
