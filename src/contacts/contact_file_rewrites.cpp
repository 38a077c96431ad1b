#include "contacts/contact_file.h"

#include "contacts/contact_file_access.h"
#include "contacts/contact_line_key.h"
#include "contacts/contact_record.h"
#include "platform/line_reader.h"
#include "platform/twin_writer.h"
#include "platform/windows1252.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <functional>
#include <unistd.h>

using ContactFileAccess::LineEnd;
using ContactLineKey::SeparatorByte;

namespace {

// A line as a rewrite meets it: its start (all of it unless cut) and where the whole of it lies.
struct FileLine
{
    QByteArrayView head;
    bool cut;
    qint64 offset;
    qint64 length;
    int fd;
};

// What goes into the twin for a line: bytes, then the line's own bytes from keepFrom to its end.
struct Written
{
    QByteArrayView bytes;
    qint64 keepFrom;
};

// Calls use(block) for the line's bytes from `from` on, a block at a time, until it returns false.
bool scanLine(const FileLine &line, qint64 from, const std::function<bool(QByteArrayView)> &use)
{
    if (from < line.head.size()) {
        if (!use(line.head.sliced(from)))
            return true;
        from = line.head.size();
    }
    QByteArray block(
        qsizetype(qMin<qint64>(line.length - from, ContactFile::LongestShown)), Qt::Uninitialized);
    while (from < line.length) {
        const ssize_t got = ::pread(line.fd, block.data(),
            size_t(qMin<qint64>(block.size(), line.length - from)), line.offset + from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        from += got;
        if (!use(QByteArrayView(block.constData(), got)))
            return true;
    }
    return true;
}

// Where the text after the 18th separator starts; the line's length when it has fewer.
std::optional<qint64> unseenTailStart(const FileLine &line)
{
    int separators = 0;
    qint64 position = 0;
    qint64 start = line.length;
    const bool read = scanLine(line, 0, [&](QByteArrayView block) {
        for (qsizetype i = 0; i < block.size(); ++i) {
            if (block[i] == SeparatorByte && ++separators == ContactRecord::FieldCount) {
                start = position + i + 1;
                return false;
            }
        }
        position += block.size();
        return true;
    });
    return read ? std::optional(start) : std::nullopt;
}

// Whether the line is exactly these bytes.
std::optional<bool> lineEquals(const FileLine &line, QByteArrayView bytes)
{
    if (line.length != bytes.size())
        return false;
    qint64 position = 0;
    bool equal = true;
    const bool read = scanLine(line, 0, [&](QByteArrayView block) {
        equal = block == bytes.sliced(position, block.size());
        position += block.size();
        return equal;
    });
    return read ? std::optional(equal) : std::nullopt;
}

// Whether the line's key is wholly in its start, so that the start can be compared by key.
bool keyInHead(const FileLine &line)
{
    if (!line.cut)
        return true;
    const auto *first
        = static_cast<const char *>(std::memchr(line.head.data(), SeparatorByte, line.head.size()));
    return first
        && std::memchr(first + 1, SeparatorByte, line.head.data() + line.head.size() - first - 1) != nullptr;
}

// Copies the file to its twin line by line, letting decide() choose what goes into the twin for
// each line (nothing, or bytes followed by part of the line), then renames the twin over the file.
// A line too long to hold is read and copied piece by piece, never held whole. decide() may fail
// the rewrite by setting its failed flag.
bool rewrite(const QString &path, const QString &twinPath, FileAttributes &attributes,
    const std::function<std::optional<Written>(const FileLine &, bool &)> &decide)
{
    const ContactFileAccess::Unhidden unhidden(attributes, path);
    QFile file;
    if (ContactFileAccess::open(file, path) != ContactFileAccess::Opened::Yes)
        return false;
    TwinWriter twin(path, twinPath);
    if (!twin.create(FileMode::of(file.handle()), path))
        return false;
    LineReader reader(file, ContactFile::LongestShown);
    QByteArrayView head;
    bool ok = true;
    bool failed = false;
    while (ok && reader.next(head)) {
        const FileLine line {head, reader.cut(), reader.offset(), reader.length(), file.handle()};
        const std::optional<Written> written = decide(line, failed);
        if (failed)
            return false;
        if (!written)
            continue;
        ok = twin.write(written->bytes);
        if (ok && written->keepFrom < line.length) {
            ok = line.cut
                ? twin.copyFrom(line.fd, line.offset + written->keepFrom, line.length - written->keepFrom)
                : twin.write(head.sliced(written->keepFrom));
        }
        ok = ok && twin.write(LineEnd);
    }
    ok = ok && !reader.failed();
    file.close();
    return ok && twin.commit();
}

} // namespace

bool ContactFile::replaceByKey(const QString &oldLine, const QString &newLine)
{
    const QByteArray oldKey = Windows1252::encode(ContactRecord::keyOf(oldLine));
    const QByteArray replacement = Windows1252::encode(newLine);
    // Only the first line with the key is replaced, the one a lookup shows; any other line that
    // shares the key stays as it is.
    bool replaced = false;
    return rewrite(
        path(), twinPath(), m_attributes, [&](const FileLine &line, bool &failed) -> std::optional<Written> {
            if (replaced || line.length == 0 || !keyInHead(line)
                || !ContactLineKey::hasKey(line.head, oldKey))
                return Written {{}, 0};
            replaced = true;
            // Text after the 18th separator shows in no box, so no edit can have meant to drop it: in a
            // hand-edited file it can be further fields, or whole contacts joined to this one by bare
            // CR line ends.
            const std::optional<qint64> tail = unseenTailStart(line);
            failed = !tail;
            return Written {replacement, tail.value_or(line.length)};
        });
}

bool ContactFile::removeEqual(const QString &line)
{
    const QByteArray removed = Windows1252::encode(line);
    return rewrite(path(), twinPath(), m_attributes,
        [&](const FileLine &current, bool &failed) -> std::optional<Written> {
            const std::optional<bool> equal
                = current.cut ? lineEquals(current, removed) : current.head == removed;
            failed = !equal;
            if (equal.value_or(false))
                return std::nullopt;
            return Written {{}, 0};
        });
}
