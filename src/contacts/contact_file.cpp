#include "contacts/contact_file.h"

#include "contacts/contact_record.h"
#include "platform/file_attributes.h"
#include "platform/line_reader.h"
#include "platform/text_file.h"
#include "platform/twin_writer.h"
#include "platform/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char SeparatorByte = char(0xE3);
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// A line's key fields as the file holds them: everything up to the second separator (or the
// end), with the position of the first separator in it, -1 when there is none.
struct KeyFields
{
    QByteArrayView bytes;
    qsizetype separator = -1;
};

KeyFields keyFields(QByteArrayView line)
{
    const char *data = line.data();
    const auto *first = static_cast<const char *>(std::memchr(data, SeparatorByte, line.size()));
    if (!first)
        return {line};
    const qsizetype afterFirst = first - data + 1;
    const auto *second = static_cast<const char *>(
        std::memchr(data + afterFirst, SeparatorByte, line.size() - afterFirst));
    return {second ? line.first(second - data) : line, afterFirst - 1};
}

// The key of a line in the file's own bytes: surname, blank, name, blank.
QByteArray rawKey(QByteArrayView line)
{
    const KeyFields fields = keyFields(line);
    QByteArray key = fields.bytes.toByteArray();
    if (fields.separator >= 0)
        key[fields.separator] = ' ';
    else
        key += ' ';
    key += ' ';
    return key;
}

// Whether a line's key is the given one (in the file's bytes), compared where the line lies.
bool hasKey(QByteArrayView line, QByteArrayView key)
{
    const KeyFields fields = keyFields(line);
    const QByteArrayView bytes = fields.bytes;
    const qsizetype separator = fields.separator;
    if (key.size() != bytes.size() + (separator >= 0 ? 1 : 2) || key.back() != ' ')
        return false;
    if (separator < 0)
        return key[bytes.size()] == ' ' && key.first(bytes.size()) == bytes;
    return key[separator] == ' ' && key.first(separator) == bytes.first(separator)
        && key.sliced(separator + 1, bytes.size() - separator - 1) == bytes.sliced(separator + 1);
}

// While an operation runs the file is normal; afterwards it is hidden again, whatever happened.
class Unhidden
{
public:
    Unhidden(FileAttributes &attributes, QString path)
        : m_attributes(attributes)
        , m_path(std::move(path))
    {
        m_attributes.setNormal(m_path);
    }
    ~Unhidden()
    {
        if (QFileInfo::exists(m_path))
            m_attributes.setHidden(m_path);
    }
    Unhidden(const Unhidden &) = delete;
    Unhidden &operator=(const Unhidden &) = delete;

private:
    FileAttributes &m_attributes;
    QString m_path;
};

// What one key of the list costs in memory besides its characters: the string's header, its place
// in the list, its row and what sorting it takes.
constexpr qint64 PerKeyBytes = 192;

qint64 budgetOverride = 0;

// The key a line is listed under: its key, cut when the line is too long to show.
QByteArray listedKey(QByteArrayView line, bool cut)
{
    QByteArray key = rawKey(line);
    if (cut)
        key.truncate(ContactFile::LongestKey);
    return key;
}

bool matches(QByteArrayView line, bool cut, QByteArrayView wanted)
{
    if (!cut)
        return hasKey(line, wanted);
    return wanted.size() <= ContactFile::LongestKey && listedKey(line, true) == wanted;
}

enum class Opened { Yes, No, TooLarge };

// Opens a contact file (or its backup) for reading: a regular file no larger than the budget.
Opened openContacts(QFile &file, const QString &path)
{
    if (!RegularFile::open(file, path))
        return Opened::No;
    if (file.size() > ContactFile::memoryBudget()) {
        file.close();
        return Opened::TooLarge;
    }
    return Opened::Yes;
}

bool isRegularFile(const QString &path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

// Makes a new empty file, never through a link.
bool createEmpty(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FileMode::New);
    if (fd < 0)
        return false;
    const bool ok = ::fchmod(fd, FileMode::New) == 0;
    return ::close(fd) == 0 && ok;
}

// Gives from a name of its own beside it that nothing else has: "<from>.incompleto", then with
// 2, 3... after it. Empty when no name could be had.
QString keepAside(const QString &from)
{
    for (int n = 1; n < 1000; ++n) {
        const QString name = from + u".incompleto"_qs + (n > 1 ? QString::number(n) : QString());
        if (TextFile::moveWithoutReplacing(from, name))
            return name;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Whether an open file is empty or ends with a whole line.
bool endsWithLineEnd(int fd)
{
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return false;
    char end[2] = {};
    return status.st_size == 0
        || (status.st_size >= 2 && ::pread(fd, end, 2, status.st_size - 2) == 2 && end[0] == '\r'
            && end[1] == '\n');
}

// Copies source to the twin and renames the twin over target: target is whole, old or new. The
// copy takes the place of target, so it keeps target's mode and attributes; a first copy takes
// those of source.
bool copyThroughTwin(const QString &source, const QString &twinPath, const QString &target)
{
    QFile from;
    if (openContacts(from, source) != Opened::Yes)
        return false;
    const QString like = isRegularFile(target) ? target : source;
    TwinWriter twin(target, twinPath);
    return twin.create(FileMode::of(like, FileMode::of(from.handle())), like) && twin.copyRest(from.handle())
        && twin.commit();
}

} // namespace

qint64 ContactFile::memoryBudget()
{
    if (budgetOverride > 0)
        return budgetOverride;
    static const qint64 machine = [] {
        qint64 memory = qint64(::sysconf(_SC_PHYS_PAGES)) * qint64(::sysconf(_SC_PAGESIZE));
        if (memory <= 0)
            memory = qint64(1) << 30;
        for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
            struct rlimit limit = {};
            if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
                memory = qMin(memory, qint64(limit.rlim_cur));
        }
        return memory / 4;
    }();
    return machine;
}

void ContactFile::setMemoryBudget(qint64 bytes)
{
    budgetOverride = bytes;
}

ContactFile::ContactFile(const QString &programDirectory, FileAttributes &attributes)
    : m_directory(programDirectory)
    , m_attributes(attributes)
{
}

QString ContactFile::path() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.orv"));
}

QString ContactFile::twinPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.orv2"));
}

QString ContactFile::backupPath() const
{
    return QDir(m_directory).filePath(QStringLiteral("data.bak"));
}

bool ContactFile::ensureExists(Start *start, QString *keptAs)
{
    Start outcome = Start::Found;
    const auto report = [&](Start what) {
        if (start)
            *start = what;
    };
    report(outcome);
    const QByteArray name = QFile::encodeName(path());
    struct stat status = {};
    // A directory, a FIFO or a device in the file's place is no contact file; a link to nothing
    // is no missing file.
    if (::stat(name.constData(), &status) == 0)
        return S_ISREG(status.st_mode);
    if (errno != ENOENT || ::lstat(name.constData(), &status) == 0)
        return false;

    // A change cut short between removing the file and renaming its twin (or a file deleted from
    // outside beside a twin) leaves the contacts in the twin. It takes the file's place only when
    // it is whole; a twin cut in the middle of a line is kept aside, never silently shortened.
    TwinWriter twin(path(), twinPath());
    if (twin.adopt()) {
        if (endsWithLineEnd(twin.handle())) {
            // Put in place as every change is: flushed, renamed, the folder flushed.
            if (!twin.commit())
                return false;
            m_attributes.setHidden(path());
            report(Start::TwinAdopted);
            return true;
        }
        twin.discard(); // closed; an adopted twin stays
        const QString kept = keepAside(twinPath());
        if (kept.isEmpty())
            return false;
        if (keptAs)
            *keptAs = kept;
        outcome = Start::TwinKept;
    }
    if (!createEmpty(path()))
        return false;
    TwinWriter::syncDirectory(QFileInfo(path()).absolutePath());
    m_attributes.setHidden(path());
    report(outcome == Start::TwinKept ? outcome : Start::Created);
    return true;
}

std::optional<QStringList> ContactFile::readKeys(Failure *failure) const
{
    const auto fail = [&](Failure why) -> std::optional<QStringList> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    if (failure)
        *failure = Failure::None;
    Unhidden unhidden(m_attributes, path());
    QFile file;
    switch (openContacts(file, path())) {
    case Opened::No:
        return fail(Failure::Unreadable);
    case Opened::TooLarge:
        return fail(Failure::TooLarge);
    case Opened::Yes:
        break;
    }
    const qint64 budget = memoryBudget();
    qint64 used = 0;
    QStringList keys;
    LineReader reader(file, LongestShown);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue;
        QString key = Windows1252::decode(listedKey(line, reader.cut()));
        used += 2 * key.size() + PerKeyBytes;
        if (used > budget)
            return fail(Failure::TooLarge);
        keys << std::move(key);
    }
    if (reader.failed())
        return fail(Failure::Unreadable);
    return keys;
}

std::optional<ContactFile::Match> ContactFile::find(const QString &key, qint64 longest) const
{
    Unhidden unhidden(m_attributes, path());
    QFile file;
    if (openContacts(file, path()) != Opened::Yes)
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
            match.line = Windows1252::decode(bytes);
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

bool ContactFile::append(const QString &line)
{
    Unhidden unhidden(m_attributes, path());
    // Not a write at the end of the file: a write cut short there (the program killed, the disk
    // full) would leave part of a line behind. The old bytes and the new line go to the twin,
    // which takes the file's place in one step.
    QFile file;
    Opened opened = openContacts(file, path());
    if (opened == Opened::No) {
        // The file gone (deleted from outside, or a start that could not put a twin in its place):
        // a whole twin left beside it holds the contacts and becomes the file, a cut one is kept
        // aside; only then does the contact start a new file, made first so that the twin this
        // append writes never stands alone: the next start would take it for the file.
        struct stat status = {};
        if (::lstat(QFile::encodeName(path()).constData(), &status) == 0 || errno != ENOENT
            || !ensureExists())
            return false;
        opened = openContacts(file, path());
    }
    if (opened != Opened::Yes)
        return false;
    TwinWriter twin(path(), twinPath());
    if (!twin.create(FileMode::of(file.handle()), path()))
        return false;
    const qint64 size = file.size();
    bool ok = twin.copyRest(file.handle());
    QByteArray bytes;
    // A last line that lacks its line end (the file was edited by hand) keeps its own line.
    if (ok && size > 0) {
        char last = 0;
        ok = ::pread(file.handle(), &last, 1, size - 1) == 1;
        if (last != '\n')
            bytes += LineEnd;
    }
    file.close();
    bytes += Windows1252::encode(line);
    bytes += LineEnd;
    return ok && twin.write(bytes) && twin.commit();
}

bool ContactFile::appendRecords(const QByteArray &recordLines)
{
    if (recordLines.isEmpty())
        return true;
    Unhidden unhidden(m_attributes, path());
    // As append does: the old bytes and the new lines go to the twin, which takes the file's place
    // in one step, so that a crash or a full disk leaves the file with all of them or none.
    QFile file;
    Opened opened = openContacts(file, path());
    if (opened == Opened::No) {
        struct stat status = {};
        if (::lstat(QFile::encodeName(path()).constData(), &status) == 0 || errno != ENOENT
            || !ensureExists())
            return false;
        opened = openContacts(file, path());
    }
    if (opened != Opened::Yes)
        return false;
    TwinWriter twin(path(), twinPath());
    if (!twin.create(FileMode::of(file.handle()), path()))
        return false;
    const qint64 size = file.size();
    bool ok = twin.copyRest(file.handle());
    if (ok && size > 0) {
        char last = 0;
        ok = ::pread(file.handle(), &last, 1, size - 1) == 1;
        if (ok && last != '\n')
            ok = twin.write(LineEnd);
    }
    file.close();
    return ok && twin.write(recordLines) && twin.commit();
}

std::optional<QStringList> ContactFile::readLines(Failure *failure) const
{
    const auto fail = [&](Failure why) -> std::optional<QStringList> {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    if (failure)
        *failure = Failure::None;
    Unhidden unhidden(m_attributes, path());
    QFile file;
    switch (openContacts(file, path())) {
    case Opened::No:
        return fail(Failure::Unreadable);
    case Opened::TooLarge:
        return fail(Failure::TooLarge);
    case Opened::Yes:
        break;
    }
    const qint64 budget = memoryBudget();
    qint64 used = 0;
    QStringList lines;
    // Bounded, so that a line of gigabytes (a sparse file's hole) is measured before it is read.
    LineReader reader(file, LongestShown);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue;
        // The text takes twice the line's bytes; a long line's bytes are read whole first.
        used += 2 * reader.length() + PerKeyBytes;
        if (used > budget || (reader.cut() && used + reader.length() > budget))
            return fail(Failure::TooLarge);
        if (!reader.cut()) {
            lines << Windows1252::decode(line);
            continue;
        }
        QByteArray bytes(qsizetype(reader.length()), Qt::Uninitialized);
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::pread(
                file.handle(), bytes.data() + done, size_t(bytes.size() - done), reader.offset() + done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return fail(Failure::Unreadable);
            done += got;
        }
        lines << Windows1252::decode(bytes);
    }
    if (reader.failed())
        return fail(Failure::Unreadable);
    return lines;
}

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
    Unhidden unhidden(attributes, path);
    QFile file;
    if (openContacts(file, path) != Opened::Yes)
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
            if (replaced || line.length == 0 || !keyInHead(line) || !hasKey(line.head, oldKey))
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

bool ContactFile::backup()
{
    Unhidden unhidden(m_attributes, path());
    return copyThroughTwin(path(), backupPath() + QStringLiteral("2"), backupPath());
}

bool ContactFile::restore()
{
    Unhidden unhidden(m_attributes, path());
    return copyThroughTwin(backupPath(), twinPath(), path());
}
