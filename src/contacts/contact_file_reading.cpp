#include "contacts/contact_file.h"

#include "contacts/contact_file_access.h"
#include "contacts/contact_line_key.h"
#include "platform/large_memory.h"
#include "platform/line_reader.h"
#include "platform/windows1252.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// What one key of the list costs in memory besides its characters: the string's header, its place
// in the list, its row and what sorting it takes.
constexpr qint64 PerKeyBytes = 192;

// The key a line is listed under: its key, cut when the line is too long to show.
QByteArray listedKey(QByteArrayView line, bool cut)
{
    QByteArray key = ContactLineKey::rawKey(line);
    if (cut)
        key.truncate(ContactFile::LongestKey);
    return key;
}

bool matches(QByteArrayView line, bool cut, QByteArrayView wanted)
{
    if (!cut)
        return ContactLineKey::hasKey(line, wanted);
    return wanted.size() <= ContactFile::LongestKey && listedKey(line, true) == wanted;
}

} // namespace

namespace {

// A line too long to hold in the reader, read whole from where it lies; nothing on a read error.
std::optional<QByteArray> wholeLine(const QFile &file, const LineReader &reader)
{
    QByteArray bytes(qsizetype(reader.length()), Qt::Uninitialized);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(
            file.handle(), bytes.data() + done, size_t(bytes.size() - done), reader.offset() + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        done += got;
    }
    return bytes;
}

// What a reading of every line does with one: keeps what it needs of it and says how much memory
// that takes, or gives nothing and the reason (room: the memory it may still take).
using TakeLine = std::function<std::optional<qint64>(const QFile &file, const LineReader &reader,
    QByteArrayView line, qint64 room, ContactFile::Failure &why)>;

// Opens the contact file to read it; the reason when it cannot be.
ContactFile::Failure openForReading(QFile &file, const QString &path)
{
    switch (ContactFileAccess::open(file, path)) {
    case ContactFileAccess::Opened::No:
        return ContactFile::Failure::Unreadable;
    case ContactFileAccess::Opened::TooLarge:
        return ContactFile::Failure::TooLarge;
    case ContactFileAccess::Opened::Yes:
        break;
    }
    return ContactFile::Failure::None;
}

// Takes every line but the blank ones, in file order, within the memory budget.
bool readEach(
    FileAttributes &attributes, const QString &path, ContactFile::Failure *failure, const TakeLine &take)
{
    using Failure = ContactFile::Failure;
    const auto fail = [&](Failure why) {
        if (failure)
            *failure = why;
        return false;
    };
    if (failure)
        *failure = Failure::None;
    const ContactFileAccess::Unhidden unhidden(attributes, path);
    QFile file;
    if (const Failure why = openForReading(file, path); why != Failure::None)
        return fail(why);
    const qint64 budget = ContactFile::memoryBudget();
    qint64 used = 0;
    // Bounded, so that a line of gigabytes (a sparse file's hole) is measured before it is read.
    LineReader reader(file, ContactFile::LongestShown);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue;
        Failure why = Failure::None;
        const std::optional<qint64> taken = take(file, reader, line, budget - used, why);
        if (!taken)
            return fail(why);
        used += *taken;
        if (used > budget)
            return fail(Failure::TooLarge);
    }
    if (reader.failed())
        return fail(Failure::Unreadable);
    return true;
}

// The bytes of a line, read whole from the file when it is too long for the reader; nothing,
// with the reason, when they cannot be read or do not fit in room.
std::optional<QByteArray> lineBytes(
    const QFile &file, const LineReader &reader, QByteArrayView line, qint64 room, ContactFile::Failure &why)
{
    if (!reader.cut())
        return line.toByteArray();
    if (reader.length() > room) {
        why = ContactFile::Failure::TooLarge;
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = wholeLine(file, reader);
    if (!bytes)
        why = ContactFile::Failure::Unreadable;
    return bytes;
}

// The key a line is listed under, as text.
QString listedText(const LineReader &reader, QByteArrayView line)
{
    return reader.cut() ? Windows1252::decode(listedKey(line, true)) : ContactLineKey::decodedKey(line);
}

} // namespace

std::optional<QStringList> ContactFile::readKeys(Failure *failure) const
{
    QStringList keys;
    const bool read = readEach(m_attributes, path(), failure,
        [&](const QFile &, const LineReader &reader, QByteArrayView line, qint64, Failure &) {
            keys << listedText(reader, line);
            return std::optional<qint64>(2 * keys.back().size() + PerKeyBytes);
        });
    return read ? std::optional(std::move(keys)) : std::nullopt;
}

std::optional<QStringList> ContactFile::readLines(Failure *failure) const
{
    QStringList lines;
    const bool read = readEach(m_attributes, path(), failure,
        [&](const QFile &file, const LineReader &reader, QByteArrayView line, qint64 room,
            Failure &why) -> std::optional<qint64> {
            if (!reader.cut()) {
                lines << Windows1252::decode(line);
            } else {
                // A long line's bytes are read whole first, then its text takes twice as much.
                const std::optional<QByteArray> bytes = lineBytes(file, reader, line, room / 3, why);
                if (!bytes)
                    return std::nullopt;
                lines << Windows1252::decode(*bytes);
            }
            return 2 * lines.back().size() + PerKeyBytes;
        });
    return read ? std::optional(std::move(lines)) : std::nullopt;
}

std::optional<ContactFile::Records> ContactFile::readRecords(Failure *failure) const
{
    const auto fail = [&](Failure why) -> std::optional<Records> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    if (failure)
        *failure = Failure::None;
    const ContactFileAccess::Unhidden unhidden(m_attributes, path());
    QFile file;
    if (const Failure why = openForReading(file, path()); why != Failure::None)
        return fail(why);
    // The whole file in one block (it is within the budget), its lines found where they lie.
    Records records;
    records.bytes.resize(qsizetype(file.size()));
    LargeMemory::adviseLargePages(records.bytes.data(), records.bytes.size());
    qsizetype got = 0;
    while (got < records.bytes.size()) {
        const ssize_t read
            = ::read(file.handle(), records.bytes.data() + got, size_t(records.bytes.size() - got));
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return fail(Failure::Unreadable);
        if (read == 0)
            break; // shorter than it was a moment ago
        got += read;
    }
    records.bytes.truncate(got);
    const qint64 budget = memoryBudget();
    qint64 used = got;
    const char *const bytes = records.bytes.constData();
    for (qsizetype start = 0; start < got;) {
        const auto *newline
            = static_cast<const char *>(std::memchr(bytes + start, '\n', size_t(got - start)));
        const qsizetype next = newline ? newline - bytes + 1 : got;
        qsizetype end = newline ? next - 1 : got;
        if (newline && end > start && bytes[end - 1] == '\r')
            --end;
        if (end > start) {
            const QByteArrayView line(bytes + start, end - start);
            const bool cut = line.size() > LongestShown;
            records.keys << (cut ? Windows1252::decode(listedKey(line, true))
                                 : ContactLineKey::decodedKey(line));
            records.starts << start;
            records.ends << end;
            used += 2 * records.keys.back().size() + PerKeyBytes;
            if (used > budget)
                return fail(Failure::TooLarge);
        }
        start = next;
    }
    return records;
}

QByteArrayView ContactFile::Records::line(qsizetype index) const
{
    return QByteArrayView(bytes).sliced(starts[index], ends[index] - starts[index]);
}

std::optional<ContactFile::Match> ContactFile::find(const QString &key, qint64 longest) const
{
    const ContactFileAccess::Unhidden unhidden(m_attributes, path());
    QFile file;
    if (ContactFileAccess::open(file, path()) != ContactFileAccess::Opened::Yes)
        return std::nullopt;
    const QByteArray wanted = Windows1252::encode(key);
    LineReader reader(file, LongestShown);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty() || !matches(line, reader.cut(), wanted))
            continue;
        Match match;
        match.length = reader.length();
        if (!reader.cut()) {
            match.line = Windows1252::decode(line);
            match.whole = true;
        } else if (reader.length() <= longest) {
            const std::optional<QByteArray> bytes = wholeLine(file, reader);
            if (!bytes)
                return std::nullopt;
            match.line = Windows1252::decode(*bytes);
            match.whole = true;
        }
        return match;
    }
    return std::nullopt;
}

std::optional<QString> ContactFile::findByKey(const QString &key) const
{
    // The decoded text takes twice the line's bytes, which are read first.
    const std::optional<Match> match = find(key, memoryBudget() / 3);
    if (!match || !match->whole)
        return std::nullopt;
    return match->line;
}
