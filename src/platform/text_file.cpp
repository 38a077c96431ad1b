#include "platform/text_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

LineReader::LineReader(QIODevice &device)
    : m_device(device)
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
            line = QByteArrayView(begin, end - begin);
            m_position = newline - data + 1;
            return true;
        }
        const qsizetype scanned = m_buffer.size() - m_position;
        if (!fill()) {
            if (m_failed || m_position >= m_buffer.size())
                return false;
            line = QByteArrayView(m_buffer.constData() + m_position, m_buffer.size() - m_position);
            m_position = m_buffer.size();
            return true;
        }
        scanFrom = m_position + scanned;
    }
}

std::optional<QStringList> TextFile::readLines(const QString &path, qsizetype maxLines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList lines;
    LineReader reader(file);
    QByteArrayView line;
    while ((maxLines < 0 || lines.size() < maxLines) && reader.next(line))
        lines << Windows1252::decode(line);
    if (reader.failed())
        return std::nullopt;
    return lines;
}

bool TextFile::commitTwin(QFile &twin, const QString &target)
{
    bool ok = twin.flush() && ::fdatasync(twin.handle()) == 0;
    twin.close();
    ok = ok && twin.error() == QFileDevice::NoError;
    ok = ok && renameOver(twin.fileName(), target);
    if (!ok)
        QFile::remove(twin.fileName());
    return ok;
}

bool TextFile::renameOver(const QString &from, const QString &target)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    // Make the new name itself durable.
    const int directory = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                                 O_RDONLY | O_DIRECTORY);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}

bool TextFile::replaceThroughTwin(const QString &target, const QString &twin, const QByteArray &bytes,
                                  bool ownerOnly)
{
    QFile file(twin);
    const bool opened = ownerOnly
        ? file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        : file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!opened)
        return false;
    if (ownerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.close();
        QFile::remove(twin);
        return false;
    }
    return commitTwin(file, target);
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
