#include "contacts/contact_search.h"

#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "platform/text_file.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char Separator = char(0xE3); // 'ã'; no field holds it, so no folded word either
// Ends the digits of a field in a record; 1 + the field's number, below any printable character.
constexpr quint8 FirstMark = 0x01;
// Stands in a query for a character the file cannot hold: no byte folds to it ('ÿ' folds to 'y').
constexpr char Unmatchable = char(0xFF);
// Zero bytes after the last record: a comparison reads 16 bytes at a time, one byte ahead.
constexpr qsizetype Padding = 32;
// Record offsets are 32-bit.
constexpr qsizetype LargestText = qsizetype(0xFFFFFFFFu) - Padding;

constexpr QLatin1StringView NumberCharacters("0123456789+-.()/");

inline bool isDigit(quint8 b)
{
    return b >= '0' && b <= '9';
}

// Each byte of the file as compared: the character without accent in lower case, still one
// Windows-1252 byte ("Á" and "á" give "a", "Ñ" gives "n", "Œ" gives "œ"). Characters with no
// such form stay as they are. The separator stays itself: fields end there.
struct Folding
{
    std::array<quint8, 256> fold {};
    // Whether some byte from 0x80 on, other than c itself, folds to c ("á" to "a").
    std::array<bool, 256> accented {};

    Folding()
    {
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            QChar c = Windows1252::decode(QByteArrayView(&byte, 1)).front();
            while (c.decompositionTag() == QChar::Canonical)
                c = c.decomposition().front();
            c = c.toCaseFolded();
            fold[b] = Windows1252::canEncode(c) ? quint8(Windows1252::encode(QStringView(&c, 1)).front())
                                                : quint8(b);
        }
        fold[quint8(Separator)] = quint8(Separator);
        for (int b = 0x80; b < 256; ++b) {
            if (fold[b] != b)
                accented[fold[b]] = true;
        }
        Q_ASSERT(std::none_of(fold.cbegin(), fold.cend(), [](quint8 f) { return f == quint8(Unmatchable); }));
    }
};

const Folding Folded;

// A character of a query as a folded byte; Unmatchable when the file cannot hold it.
char foldedByte(QChar c)
{
    while (c.decompositionTag() == QChar::Canonical)
        c = c.decomposition().front();
    c = c.toCaseFolded();
    if (!Windows1252::canEncode(c))
        return Unmatchable;
    const quint8 byte = quint8(Windows1252::encode(QStringView(&c, 1)).front());
    return byte == quint8(Separator) ? 'a' : char(Folded.fold[byte]);
}

inline bool matchesAt(const char *at, QByteArrayView needle)
{
    for (qsizetype k = 0; k < needle.size(); ++k) {
        if (Folded.fold[quint8(at[k])] != quint8(needle[k]))
            return false;
    }
    return true;
}

#ifdef __SSE2__
// The lanes of block whose byte folds to c, as bits.
struct LaneTest
{
    explicit LaneTest(quint8 c)
        : exact(_mm_set1_epi8(char(c)))
        , upper(_mm_set1_epi8(char(c >= 'a' && c <= 'z' ? c - 0x20 : c)))
        , c(c)
        , accented(Folded.accented[c])
    { }

    unsigned lanes(const char *at) const
    {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        unsigned found = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, exact), _mm_cmpeq_epi8(block, upper))));
        if (accented) {
            for (unsigned high = unsigned(_mm_movemask_epi8(block)) & ~found; high; high &= high - 1) {
                const int lane = std::countr_zero(high);
                if (Folded.fold[quint8(at[lane])] == c)
                    found |= 1u << lane;
            }
        }
        return found;
    }

    __m128i exact, upper;
    quint8 c;
    bool accented;
};
#endif

// Where needle (folded bytes) first occurs in [from, end) with the text folded; end when nowhere.
// Reads up to 17 bytes past end, which the padding allows.
const char *findFolded(const char *from, const char *end, QByteArrayView needle)
{
    const qsizetype length = needle.size();
    if (end - from < length)
        return end;
    const char *last = end - length;
#ifdef __SSE2__
    const LaneTest first {quint8(needle[0])};
    const LaneTest second {quint8(length > 1 ? needle[1] : needle[0])};
    for (const char *at = from; at <= last; at += 16) {
        unsigned candidates = first.lanes(at);
        if (candidates && length > 1)
            candidates &= second.lanes(at + 1);
        if (last - at < 15)
            candidates &= (1u << (last - at + 1)) - 1;
        for (; candidates; candidates &= candidates - 1) {
            const char *start = at + std::countr_zero(candidates);
            if (matchesAt(start, needle))
                return start;
        }
    }
    return end;
#else
    for (const char *at = from; at <= last; ++at) {
        if (matchesAt(at, needle))
            return at;
    }
    return end;
#endif
}

// Opens a file the program found for reading: only a regular file, and without waiting on a FIFO
// or a device.
bool openRegularFile(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat status
    {
    };
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0
        || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

// Appends a line's record to text: its 18 fields each followed by the separator (missing ones
// empty, anything after the 18th left out), then the digits of each field that has more than
// one run of them, followed by the field's mark. Returns the record's key fields.
std::pair<QByteArrayView, QByteArrayView> appendRecord(
    QByteArray &text, QByteArrayView line, QByteArray &digits)
{
    digits.clear();
    const char *data = line.data();
    const char *end = data + line.size();
    const char *fieldStart = data;
    QByteArrayView keyFields[2];
    int separators = 0;
    for (int field = 0; field < ContactRecord::FieldCount; ++field) {
        const auto *separator
            = static_cast<const char *>(std::memchr(fieldStart, Separator, end - fieldStart));
        const char *fieldEnd = separator ? separator : end;
        if (field < 2)
            keyFields[field] = QByteArrayView(fieldStart, fieldEnd);
        const qsizetype before = digits.size();
        int runs = 0;
        bool inRun = false;
        for (const char *at = fieldStart; at != fieldEnd; ++at) {
            const bool digit = isDigit(quint8(*at));
            if (digit) {
                runs += inRun ? 0 : 1;
                digits += *at;
            }
            inRun = digit;
        }
        if (runs > 1)
            digits += char(FirstMark + field);
        else
            digits.truncate(before);
        separators += separator ? 1 : 0;
        fieldStart = separator ? separator + 1 : end;
    }
    // The line up to its 18th separator, the separators of the fields it lacks, the digits.
    text.append(data, fieldStart - data);
    text.append(ContactRecord::FieldCount - separators, Separator);
    text.append(digits);
    return {keyFields[0], keyFields[1]};
}

} // namespace

std::optional<ContactSearch> ContactSearch::fromFile(const QString &path)
{
    QFile file;
    if (!openRegularFile(file, path))
        return std::nullopt;
    ContactSearch index;
    // Most of a file is its fields; the split digits add a fifth at most in a usual one.
    const qint64 size = file.size();
    index.m_text.reserve(qsizetype(std::min<qint64>(size, qint64(1) << 30) / 4 * 5) + Padding);
    QStringList keys;
    QByteArray digits;
    LineReader reader(file);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue; // the list has no entry for a blank line
        line = line.first(std::min(line.size(), MaxLineBytes));
        // A record holds at most the line, its digits, 18 separators and 18 marks.
        if (index.m_text.size() + 2 * (line.size() + ContactRecord::FieldCount) > LargestText)
            return std::nullopt;
        index.m_starts.push_back(quint32(index.m_text.size()));
        const auto [surname, name] = appendRecord(index.m_text, line, digits);
        QString key;
        key.reserve(surname.size() + name.size() + 2);
        key += Windows1252::decode(surname);
        key += u' ';
        key += Windows1252::decode(name);
        key += u' ';
        keys.append(std::move(key));
    }
    if (reader.failed())
        return std::nullopt;
    file.close();
    index.m_starts.push_back(quint32(index.m_text.size()));
    index.m_text.append(Padding, '\0');
    index.m_text.squeeze();
    index.m_starts.shrink_to_fit();

    index.m_order = ContactListModel::listOrder(keys);
    index.m_rows.resize(index.m_order.size());
    for (std::size_t row = 0; row < index.m_order.size(); ++row)
        index.m_rows[index.m_order[row]] = quint32(row);
    return index;
}

qsizetype ContactSearch::memoryBytes() const
{
    return m_text.capacity()
        + qsizetype(sizeof(quint32) * (m_starts.capacity() + m_order.capacity() + m_rows.capacity()));
}

QString ContactSearch::countText(qsizetype count)
{
    if (count == 0)
        return QStringLiteral("Ningún contacto");
    if (count == 1)
        return QStringLiteral("1 contacto");
    return QStringLiteral("%1 contactos").arg(count);
}

std::vector<ContactSearch::Word> ContactSearch::wordsOf(const QString &query)
{
    // Blanks and control characters part the words.
    QStringList pieces;
    QString piece;
    for (const QChar c : query) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            if (!piece.isEmpty())
                pieces.append(std::exchange(piece, {}));
        } else {
            piece += c;
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);

    const auto isNumberPiece = [](const QString &p) {
        return std::all_of(p.cbegin(), p.cend(), [](QChar c) { return NumberCharacters.contains(c); });
    };
    std::vector<Word> words;
    for (qsizetype i = 0; i < pieces.size();) {
        // A run of pieces of digits and signs is one number when it holds a digit; a sign alone
        // ("-") is a word like any other.
        qsizetype runEnd = i;
        QByteArray numberDigits;
        while (runEnd < pieces.size() && isNumberPiece(pieces[runEnd])) {
            for (const QChar c : pieces[runEnd]) {
                if (c.isDigit())
                    numberDigits += char(c.unicode());
            }
            ++runEnd;
        }
        if (!numberDigits.isEmpty()) {
            words.push_back({numberDigits, true});
            i = runEnd;
            continue;
        }
        for (runEnd = std::max(runEnd, i + 1); i < runEnd; ++i) {
            QByteArray folded;
            folded.reserve(pieces[i].size());
            for (const QChar c : pieces[i])
                folded += foldedByte(c);
            words.push_back({folded, false});
        }
    }
    return words;
}

bool ContactSearch::contains(quint32 contact, const QByteArray &needle) const
{
    const char *begin = m_text.constData() + m_starts[contact];
    const char *end = m_text.constData() + m_starts[contact + 1];
    return findFolded(begin, end, needle) != end;
}

std::vector<quint32> ContactSearch::scanAll(const QByteArray &needle) const
{
    std::vector<quint32> found;
    const char *base = m_text.constData();
    const char *end = base + m_starts.back();
    quint32 contact = 0;
    for (const char *at = base; (at = findFolded(at, end, needle)) != end;) {
        const auto offset = quint32(at - base);
        contact = quint32(std::upper_bound(m_starts.cbegin() + contact, m_starts.cend(), offset)
                      - m_starts.cbegin())
            - 1;
        found.push_back(contact);
        at = base + m_starts[contact + 1];
    }
    return found;
}

namespace {

// Whether every contact that holds word also holds earlier (a word of the previous query).
bool implies(const ContactSearch::Word &word, const ContactSearch::Word &earlier)
{
    return word.number == earlier.number && word.needle.contains(earlier.needle);
}

} // namespace

ContactSearch::Results ContactSearch::find(const QString &query)
{
    std::vector<Word> words = wordsOf(query);
    std::vector<quint32> matches;
    const bool unmatchable = std::any_of(
        words.cbegin(), words.cend(), [](const Word &w) { return w.needle.contains(Unmatchable); });
    const bool narrows
        = !m_lastWords.empty() && std::all_of(m_lastWords.cbegin(), m_lastWords.cend(), [&](const Word &e) {
              return std::any_of(words.cbegin(), words.cend(), [&](const Word &w) { return implies(w, e); });
          });
    if (words.empty() || unmatchable) {
        // nothing
    } else if (narrows) {
        // Every match is among the previous ones; words the previous query had are held already.
        std::vector<const QByteArray *> fresh;
        for (const Word &w : words) {
            if (std::none_of(m_lastWords.cbegin(), m_lastWords.cend(),
                    [&](const Word &e) { return e.number == w.number && e.needle == w.needle; }))
                fresh.push_back(&w.needle);
        }
        if (fresh.empty()) {
            matches = m_lastMatches;
        } else {
            for (const quint32 contact : m_lastMatches) {
                if (std::all_of(fresh.cbegin(), fresh.cend(),
                        [&](const QByteArray *n) { return contains(contact, *n); }))
                    matches.push_back(contact);
            }
        }
    } else {
        // The longest word, usually the rarest, through the whole text; the others in its matches.
        const auto anchor = std::max_element(words.cbegin(), words.cend(),
            [](const Word &a, const Word &b) { return a.needle.size() < b.needle.size(); });
        std::vector<quint32> found = scanAll(anchor->needle);
        std::vector<quint64> rows((m_order.size() + 63) / 64);
        for (const quint32 contact : found) {
            const bool all = std::all_of(words.cbegin(), words.cend(),
                [&](const Word &w) { return &w == &*anchor || contains(contact, w.needle); });
            if (all)
                rows[m_rows[contact] / 64] |= quint64(1) << (m_rows[contact] % 64);
        }
        for (std::size_t chunk = 0; chunk < rows.size(); ++chunk) {
            for (quint64 bits = rows[chunk]; bits; bits &= bits - 1)
                matches.push_back(m_order[chunk * 64 + std::countr_zero(bits)]);
        }
    }

    Results results;
    results.count = qsizetype(matches.size());
    const std::size_t shown = std::min<std::size_t>(matches.size(), MaxResults);
    results.shown.reserve(shown);
    for (std::size_t i = 0; i < shown; ++i)
        results.shown.push_back(resultFor(matches[i], words));
    m_lastWords = std::move(words);
    m_lastMatches = std::move(matches);
    return results;
}

ContactSearch::Result ContactSearch::resultFor(quint32 contact, const std::vector<Word> &words) const
{
    const char *begin = m_text.constData() + m_starts[contact];
    const char *end = m_text.constData() + m_starts[contact + 1];
    // Where each field ends: its separator.
    std::array<const char *, ContactRecord::FieldCount> fieldEnds;
    const char *at = begin;
    for (const char *&fieldEnd : fieldEnds) {
        fieldEnd = static_cast<const char *>(std::memchr(at, Separator, end - at));
        at = fieldEnd + 1;
    }
    const char *digitsBegin = at;
    const auto fieldAt = [&](const char *position) {
        if (position < digitsBegin)
            return int(std::upper_bound(fieldEnds.cbegin(), fieldEnds.cend(), position) - fieldEnds.cbegin());
        while (quint8(*position) >= FirstMark + ContactRecord::FieldCount)
            ++position;
        return int(quint8(*position) - FirstMark);
    };
    quint32 fields = 0;
    for (const Word &word : words) {
        for (const char *found = begin; (found = findFolded(found, end, word.needle)) != end; ++found)
            fields |= 1u << fieldAt(found);
    }
    const quint32 beyondKey = fields & ~quint32(3);
    const int field
        = std::min(std::countr_zero(beyondKey ? beyondKey : fields), ContactRecord::FieldCount - 1);
    const char *fieldBegin = field == 0 ? begin : fieldEnds[field - 1] + 1;

    Result result;
    result.key = Windows1252::decode(QByteArrayView(begin, fieldEnds[0])) + u' '
        + Windows1252::decode(QByteArrayView(fieldEnds[0] + 1, fieldEnds[1])) + u' ';
    result.row = int(m_rows[contact]);
    result.field = field;
    result.text = Windows1252::decode(QByteArrayView(fieldBegin, fieldEnds[field]));
    result.fields = fields;
    return result;
}
