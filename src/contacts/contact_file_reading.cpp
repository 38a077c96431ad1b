#include "contacts/contact_file.h"

#include "contacts/contact_file_access.h"
#include "contacts/contact_line_key.h"
#include "platform/line_reader.h"
#include "platform/windows1252.h"

#include <QFile>

#include <cerrno>
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

// What a reading of every line makes of one: its text in the list, or nothing with the reason
// (room: the memory the list may still take).
using LineText = std::function<std::optional<QString>(const QFile &file, const LineReader &reader,
    QByteArrayView line, qint64 room, ContactFile::Failure &why)>;

// The texts of every line but the blank ones, in file order, within the memory budget.
std::optional<QStringList> readEach(
    FileAttributes &attributes, const QString &path, ContactFile::Failure *failure, const LineText &text)
{
    using Failure = ContactFile::Failure;
    const auto fail = [&](Failure why) -> std::optional<QStringList> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    if (failure)
        *failure = Failure::None;
    const ContactFileAccess::Unhidden unhidden(attributes, path);
    QFile file;
    switch (ContactFileAccess::open(file, path)) {
    case ContactFileAccess::Opened::No:
        return fail(Failure::Unreadable);
    case ContactFileAccess::Opened::TooLarge:
        return fail(Failure::TooLarge);
    case ContactFileAccess::Opened::Yes:
        break;
    }
    const qint64 budget = ContactFile::memoryBudget();
    qint64 used = 0;
    QStringList texts;
    // Bounded, so that a line of gigabytes (a sparse file's hole) is measured before it is read.
    LineReader reader(file, ContactFile::LongestShown);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue;
        Failure why = Failure::None;
        std::optional<QString> taken = text(file, reader, line, budget - used, why);
        if (!taken)
            return fail(why);
        used += 2 * taken->size() + PerKeyBytes;
        if (used > budget)
            return fail(Failure::TooLarge);
        texts << std::move(*taken);
    }
    if (reader.failed())
        return fail(Failure::Unreadable);
    return texts;
}

} // namespace

std::optional<QStringList> ContactFile::readKeys(Failure *failure) const
{
    return readEach(m_attributes, path(), failure,
        [](const QFile &, const LineReader &reader, QByteArrayView line, qint64, Failure &) {
            return std::optional(
                reader.cut() ? Windows1252::decode(listedKey(line, true)) : ContactLineKey::decodedKey(line));
        });
}

std::optional<QStringList> ContactFile::readLines(Failure *failure) const
{
    return readEach(m_attributes, path(), failure,
        [](const QFile &file, const LineReader &reader, QByteArrayView line, qint64 room,
            Failure &why) -> std::optional<QString> {
            if (!reader.cut())
                return Windows1252::decode(line);
            // A long line's bytes are read whole first, then its text takes twice as much.
            if (3 * reader.length() > room) {
                why = Failure::TooLarge;
                return std::nullopt;
            }
            const std::optional<QByteArray> bytes = wholeLine(file, reader);
            if (!bytes) {
                why = Failure::Unreadable;
                return std::nullopt;
            }
            return Windows1252::decode(*bytes);
        });
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
