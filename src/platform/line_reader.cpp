#include "platform/line_reader.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

constexpr qsizetype BlockSize = 1 << 20;
// Most files are a few bytes long (the options file is read before every click sound): they get
// a block of this size instead of a whole one.
constexpr qsizetype SmallBlockSize = 1 << 12;

} // namespace

LineReader::LineReader(QIODevice &device, qsizetype longest, LongLines longLines)
    : m_device(device)
    , m_longest(longest)
    , m_longLines(longLines)
{ }

bool LineReader::fill()
{
    if (m_atEnd)
        return false;
    // The unread rest moves to the front of the same buffer. (remove() would only step past the
    // read part, and the next resize would then take a new buffer for every block: fresh memory,
    // whose first touch is what reading a large file costs most on some machines.)
    const qsizetype old = m_buffer.size() - m_position;
    if (m_position > 0) {
        std::memmove(m_buffer.data(), m_buffer.constData() + m_position, old);
        m_buffer.resize(old);
        m_consumed += m_position;
    }
    m_position = 0;
    const qsizetype block = m_device.isSequential()
        ? BlockSize
        : qsizetype(qBound<qint64>(SmallBlockSize, m_device.size() - m_device.pos(), BlockSize));
    m_buffer.resize(old + block);
    const qint64 got = m_device.read(m_buffer.data() + old, block);
    if (got < 0)
        m_failed = true;
    m_buffer.resize(old + qMax<qint64>(got, 0));
    if (got <= 0)
        m_atEnd = true;
    if (got > 0 && m_keepGoing && !m_keepGoing(m_consumed + m_buffer.size())) {
        // What was read and not given is dropped, so that no line is given from it.
        m_stopped = true;
        m_atEnd = true;
        m_buffer.clear();
        m_position = 0;
        return false;
    }
    return got > 0;
}

void LineReader::give(QByteArrayView &line, const char *begin, qint64 length)
{
    m_offset = m_consumed + (begin - m_buffer.constData());
    m_length = length;
    m_cut = m_longest >= 0 && length > m_longest;
    line = QByteArrayView(begin, !m_cut ? length : m_longLines == LongLines::GiveStart ? m_longest : 0);
}

bool LineReader::holdsNextLine()
{
    if (!m_nextNewline && m_position < m_buffer.size()) {
        m_nextNewline = static_cast<const char *>(
            std::memchr(m_buffer.constData() + m_position, '\n', size_t(m_buffer.size() - m_position)));
    }
    return m_nextNewline != nullptr;
}

bool LineReader::next(QByteArrayView &line)
{
    qsizetype scanFrom = m_position;
    for (;;) {
        // memchr itself: around a line of 200 bytes, indexOf's calls and checks cost as much as
        // the search.
        const char *data = m_buffer.constData();
        const auto *newline = std::exchange(m_nextNewline, nullptr);
        if (!newline)
            newline
                = static_cast<const char *>(std::memchr(data + scanFrom, '\n', m_buffer.size() - scanFrom));
        if (newline) {
            const char *begin = data + m_position;
            const char *end = newline > begin && newline[-1] == '\r' ? newline - 1 : newline;
            give(line, begin, end - begin);
            m_position = newline - data + 1;
            return true;
        }
        const qsizetype scanned = m_buffer.size() - m_position;
        // More than the bound and a CR without a line end: the line is long whatever follows.
        if (m_longest >= 0 && scanned > m_longest + 1)
            return skipLongLine(line);
        if (!fill()) {
            if (m_failed || m_position >= m_buffer.size())
                return false;
            give(line, m_buffer.constData() + m_position, m_buffer.size() - m_position);
            m_position = m_buffer.size();
            return true;
        }
        scanFrom = m_position + scanned;
    }
}

bool LineReader::skipLongLine(QByteArrayView &line)
{
    // Only the start is kept; the rest passes through the buffer a block at a time.
    m_offset = m_consumed + m_position;
    if (m_longLines == LongLines::GiveStart)
        m_head = m_buffer.sliced(m_position, m_longest);
    qint64 length = m_buffer.size() - m_position;
    char last = m_buffer.back();
    m_consumed += m_buffer.size();
    m_buffer.clear();
    m_position = 0;
    for (;;) {
        skipHole(length, last);
        if (!fill()) {
            if (m_failed)
                return false;
            break; // the last line, without a line end
        }
        const char *data = m_buffer.constData();
        if (const auto *newline = static_cast<const char *>(std::memchr(data, '\n', m_buffer.size()))) {
            length += newline - data;
            if (newline > data)
                last = newline[-1];
            if (last == '\r')
                --length;
            m_position = newline - data + 1;
            break;
        }
        length += m_buffer.size();
        last = m_buffer.back();
        m_consumed += m_buffer.size();
        m_buffer.clear();
    }
    m_length = length;
    m_cut = true;
    line = QByteArrayView(m_head);
    return true;
}

void LineReader::skipHole(qint64 &length, char &last)
{
    // The holes of a sparse file hold nothing but NUL bytes, so no line end: they are stepped
    // over rather than read, which would fill the page cache with gigabytes of zeros.
    auto *file = qobject_cast<QFileDevice *>(&m_device);
    if (!file || file->handle() < 0 || !m_buffer.isEmpty())
        return;
    const qint64 at = m_device.pos();
    off_t data = ::lseek(file->handle(), off_t(at), SEEK_DATA);
    if (data < 0 && errno == ENXIO)
        data = off_t(m_device.size()); // a hole to the end
    if (data > at && m_device.seek(data)) {
        length += data - at;
        m_consumed += data - at;
        last = '\0';
    } else {
        m_device.seek(at); // SEEK_DATA moved the descriptor; the device keeps its own place
    }
}
