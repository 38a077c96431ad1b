#include "platform/text_file.h"

#include "platform/twin_writer.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 0x80..0x9F; the undefined positions map to the control character of the same number.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(HighControls.size()); ++i) {
        if (HighControls[i] == c)
            return 0x80 + i;
    }
    return -1;
}

constexpr qsizetype BlockSize = 1 << 20;
// Most files are a few bytes long (the options file is read before every click sound): they get
// a block of this size instead of a whole one.
constexpr qsizetype SmallBlockSize = 1 << 12;

} // namespace

QString Windows1252::decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b < 0xA0) ? HighControls[b - 0x80] : char16_t(b);
    }
    return text;
}

QByteArray Windows1252::encode(QStringView text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (QChar c : text) {
        const int b = byteFor(c.unicode());
        *out++ = b < 0 ? '?' : char(b);
    }
    return bytes;
}

bool Windows1252::canEncode(QChar c)
{
    return byteFor(c.unicode()) >= 0;
}

LineReader::LineReader(QIODevice &device, qsizetype longest)
    : m_device(device)
    , m_longest(longest)
{
}

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
    return got > 0;
}

void LineReader::give(QByteArrayView &line, const char *begin, qint64 length)
{
    m_offset = m_consumed + (begin - m_buffer.constData());
    m_length = length;
    m_cut = m_longest >= 0 && length > m_longest;
    line = QByteArrayView(begin, m_cut ? m_longest : length);
}

bool LineReader::next(QByteArrayView &line)
{
    qsizetype scanFrom = m_position;
    for (;;) {
        // memchr itself: around a line of 200 bytes, indexOf's calls and checks cost as much as
        // the search.
        const char *data = m_buffer.constData();
        if (const auto *newline =
                static_cast<const char *>(std::memchr(data + scanFrom, '\n', m_buffer.size() - scanFrom))) {
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

bool TextFile::renameOver(const QString &from, const QString &target)
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
    TwinWriter::announce(TwinWriter::Step::Rename, false);
    if (std::rename(QFile::encodeName(from).constData(), targetName.constData()) != 0)
        return false;
    TwinWriter::announce(TwinWriter::Step::Rename, true);
    // Make the new name itself durable.
    const int directory = ::open(
        QFile::encodeName(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        TwinWriter::announce(TwinWriter::Step::DirectorySync, false);
        ::fsync(directory);
        TwinWriter::announce(TwinWriter::Step::DirectorySync, true);
        ::close(directory);
    }
    return true;
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

bool TextFile::makeDirectory(const QString &path, mode_t mode)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    struct stat status = {};
    if (::stat(QFile::encodeName(clean).constData(), &status) == 0)
        return S_ISDIR(status.st_mode);
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeDirectory(parent, mode))
        return false;
    const QByteArray name = QFile::encodeName(clean);
    if (::mkdir(name.constData(), mode) != 0)
        return errno == EEXIST && ::stat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode);
    // mkdir's mode passes through the umask.
    return ::chmod(name.constData(), mode) == 0;
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
