#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

class QIODevice;

// Reads a device line by line in large blocks. A line ends at LF; a CR right before the LF is
// not part of the line. A last line without a line end is a line too.
//
// With a bound (longest >= 0) no line is ever held whole when it is longer: next() gives its first
// longest bytes, and length() and offset() tell where the whole line lies, so that a caller can
// copy it from the file piece by piece. Memory stays within a block and the bound, whatever the
// file holds (a 2 GB line of NULs included).
class LineReader
{
public:
    // What next() gives of a line longer than the bound: its first longest bytes, or nothing, for
    // a caller that skips such lines and would only pay for a copy of their start.
    enum class LongLines { GiveStart, GiveNothing };

    explicit LineReader(
        QIODevice &device, qsizetype longest = -1, LongLines longLines = LongLines::GiveStart);

    // Asked after every block read with the bytes read so far; false stops the reading as if the
    // device ended there (see stopped()).
    void setKeepGoing(std::function<bool(qint64)> keepGoing) { m_keepGoing = std::move(keepGoing); }

    // The next line, valid until the next call; false at the end, on a read error or when told to
    // stop.
    bool next(QByteArrayView &line);

    // Whether the next line is already in the block read: then next() reads nothing, and the line
    // given last stays valid through it. The line end found is kept for next().
    bool holdsNextLine();

    bool failed() const { return m_failed; }
    bool stopped() const { return m_stopped; }
    // Bytes of the device up to the end of the last line given, its line end included.
    qint64 position() const { return m_consumed + m_position; }

    // Of the last line given: its whole length in bytes (without its line end), whether the line
    // given is only its start, and where in the device it starts.
    qint64 length() const { return m_length; }
    bool cut() const { return m_cut; }
    qint64 offset() const { return m_offset; }

private:
    bool fill();
    bool skipLongLine(QByteArrayView &line);
    void skipHole(qint64 &length, char &last);
    void give(QByteArrayView &line, const char *begin, qint64 length);

    QIODevice &m_device;
    qsizetype m_longest;
    LongLines m_longLines;
    std::function<bool(qint64)> m_keepGoing;
    QByteArray m_buffer;
    QByteArray m_head; // the start of a line too long to keep
    qsizetype m_position = 0;
    const char *m_nextNewline = nullptr; // found by holdsNextLine() from m_position
    qint64 m_consumed = 0; // bytes of the device before m_buffer
    qint64 m_length = 0;
    qint64 m_offset = 0;
    bool m_cut = false;
    bool m_atEnd = false;
    bool m_failed = false;
    bool m_stopped = false;
};
