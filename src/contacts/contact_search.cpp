#include "contacts/contact_search.h"

#include "contacts/contact_list_model.h"
#include "contacts/contact_record.h"
#include "platform/line_reader.h"
#include "platform/text_file.h"
#include "platform/windows1252.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
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
// Which bytes of a block of 16 may fold to a character: the character itself and its capital
// exactly, and every byte from 0x80 on when an accented letter folds to it (the comparison then
// tells them apart).
struct LaneTest
{
    explicit LaneTest(quint8 c)
        : exact(_mm_set1_epi8(char(c)))
        , upper(_mm_set1_epi8(char(c >= 'a' && c <= 'z' ? c - 0x20 : c)))
        , high(_mm_set1_epi8(Folded.accented[c] ? char(0xFF) : 0))
    { }

    __m128i lanes(__m128i block) const
    {
        const __m128i same = _mm_or_si128(_mm_cmpeq_epi8(block, exact), _mm_cmpeq_epi8(block, upper));
        return _mm_or_si128(same, _mm_and_si128(_mm_cmplt_epi8(block, _mm_setzero_si128()), high));
    }

    __m128i exact, upper, high;
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
    // Candidates: where the first two characters may be, 16 places at a time.
    const LaneTest first {quint8(needle[0])};
    const LaneTest second {quint8(length > 1 ? needle[1] : 0)};
    const __m128i any = _mm_set1_epi8(length > 1 ? 0 : char(0xFF));
    for (const char *at = from; at <= last; at += 16) {
        const __m128i here = first.lanes(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)));
        const __m128i next
            = _mm_or_si128(second.lanes(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 1))), any);
        unsigned candidates = unsigned(_mm_movemask_epi8(_mm_and_si128(here, next)));
        if (!candidates)
            continue;
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

// Writes a line's record at out: its 18 fields each followed by the separator (missing ones empty,
// anything after the 18th left out), then the digits of each field that has more than one run of
// them, followed by the field's mark. out has room for twice the line and 36 bytes; digits for
// the line and 18 bytes. Returns the end of the record; key gets the surname and name fields.
char *writeRecord(char *out, QByteArrayView line, char *digits, QByteArrayView (&key)[2])
{
    const char *data = line.data();
    const qsizetype size = line.size();
    int field = 0;
    int separators = 0;
    qsizetype fieldStart = 0;
    char *digitsEnd = digits;
    char *fieldDigits = digits;
    int runs = 0;
    const auto endField = [&](qsizetype end) {
        if (runs > 1)
            *digitsEnd++ = char(FirstMark + field);
        else
            digitsEnd = fieldDigits;
        if (field < 2)
            key[field] = line.sliced(fieldStart, end - fieldStart);
        ++field;
        fieldStart = end + 1;
        fieldDigits = digitsEnd;
        runs = 0;
    };
    qsizetype at = 0;
#ifdef __SSE2__
    // 16 bytes at a time: where the separators are, where the digits and where their runs start.
    const __m128i separator = _mm_set1_epi8(Separator);
    const __m128i beforeZero = _mm_set1_epi8('0' - 1);
    const __m128i afterNine = _mm_set1_epi8('9' + 1);
    unsigned carry = 0; // whether the byte before the block is a digit
    for (; at + 16 <= size && field < ContactRecord::FieldCount; at += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
        unsigned separators16 = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, separator)));
        const unsigned digits16 = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpgt_epi8(block, beforeZero), _mm_cmplt_epi8(block, afterNine))));
        const unsigned runStarts = digits16 & ~((digits16 << 1) | carry);
        carry = digits16 >> 15;
        if (!(separators16 | digits16))
            continue;
        // Each stretch up to a separator belongs to one field.
        unsigned done = 0;
        for (;;) {
            const unsigned next = separators16 & (0u - separators16);
            const unsigned before = separators16 ? next - 1 : 0xFFFF;
            const unsigned lanes = before & ~done;
            // Only whether a field has more than one run matters: runs counts up to two here.
            const unsigned starts = runStarts & lanes;
            runs += (starts != 0) + ((starts & (starts - 1)) != 0);
            for (unsigned d = digits16 & lanes; d; d &= d - 1)
                *digitsEnd++ = data[at + std::countr_zero(d)];
            if (!separators16)
                break;
            ++separators;
            endField(at + std::countr_zero(next));
            if (field == ContactRecord::FieldCount)
                break;
            done = before | next;
            separators16 &= separators16 - 1;
        }
    }
    qsizetype lastDigit = carry ? at - 1 : -2;
#else
    qsizetype lastDigit = -2;
#endif
    for (; at < size && field < ContactRecord::FieldCount; ++at) {
        if (data[at] == Separator) {
            ++separators;
            endField(at);
        } else if (isDigit(quint8(data[at]))) {
            runs += lastDigit == at - 1 ? 0 : 1;
            lastDigit = at;
            *digitsEnd++ = data[at];
        }
    }
    const qsizetype fieldsEnd = field == ContactRecord::FieldCount ? fieldStart : size;
    if (field < ContactRecord::FieldCount)
        endField(size); // the last field, ended by the end of the line
    for (; field < 2; ++field)
        key[field] = {};

    std::memcpy(out, data, fieldsEnd);
    out += fieldsEnd;
    std::memset(out, Separator, ContactRecord::FieldCount - separators);
    out += ContactRecord::FieldCount - separators;
    std::memcpy(out, digits, digitsEnd - digits);
    return out + (digitsEnd - digits);
}

} // namespace

std::optional<ContactSearch> ContactSearch::fromFile(const QString &path)
{
    // A file too large for the memory left is a file that cannot be read, not the end of the program.
    try {
        return build(path);
    } catch (const std::bad_alloc &) {
        return std::nullopt;
    }
}

std::optional<ContactSearch> ContactSearch::build(const QString &path)
{
    QFile file;
    if (!RegularFile::open(file, path))
        return std::nullopt;
    ContactSearch index;
    // Most of a file is its fields; the split digits add a fifth at most in a usual one. The text
    // is written past its size, which grows ahead in large steps, and cut to what was written.
    const qint64 size = file.size();
    index.m_text.resize(qsizetype(std::min<qint64>(size, qint64(1) << 30) / 4 * 5) + Padding);
    qsizetype written = 0;
    // The list texts of all contacts (surname, blank, name, blank) one after the other, and where
    // each ends: decoded in one go, they need no string each.
    std::string keyBytes;
    keyBytes.reserve(std::size_t(std::min<qint64>(size, qint64(1) << 30) / 6));
    std::vector<quint32> keyEnds;
    std::vector<char> digits(MaxLineBytes + ContactRecord::FieldCount);
    LineReader reader(file);
    QByteArrayView line;
    while (reader.next(line)) {
        if (line.isEmpty())
            continue; // the list has no entry for a blank line
        line = line.first(std::min(line.size(), MaxLineBytes));
        // A record holds at most the line, its digits, 18 separators and 18 marks.
        const qsizetype room = 2 * (line.size() + ContactRecord::FieldCount);
        if (written + room > LargestText)
            return std::nullopt;
        if (written + room > index.m_text.size())
            index.m_text.resize(std::max(written + room, index.m_text.size() / 2 * 3));
        const qsizetype start = written;
        QByteArrayView key[2];
        written
            = writeRecord(index.m_text.data() + start, line, digits.data(), key) - index.m_text.constData();
        index.m_starts.push_back(quint32(start));
        keyBytes.append(key[0].data(), key[0].size()).append(1, ' ');
        keyBytes.append(key[1].data(), key[1].size()).append(1, ' ');
        keyEnds.push_back(quint32(keyBytes.size()));
    }
    if (reader.failed())
        return std::nullopt;
    file.close();
    index.m_starts.push_back(quint32(written));
    index.m_text.resize(written);
    index.m_text.append(Padding, '\0');
    index.m_text.squeeze();
    index.m_starts.shrink_to_fit();

    const QString keyText = Windows1252::decode(QByteArrayView(keyBytes.data(), qsizetype(keyBytes.size())));
    keyBytes = {};
    QStringList keys;
    keys.reserve(qsizetype(keyEnds.size()));
    for (std::size_t i = 0, from = 0; i < keyEnds.size(); from = keyEnds[i++])
        keys.append(QString::fromRawData(keyText.constData() + from, qsizetype(keyEnds[i] - from)));
    keyEnds = {};
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

ContactSearch::Results ContactSearch::find(const QString &query)
{
    std::vector<Word> words = wordsOf(query);
    const bool unmatchable = std::any_of(
        words.cbegin(), words.cend(), [](const Word &w) { return w.needle.contains(Unmatchable); });
    // Whether every contact that holds word also holds earlier (a word of the previous query).
    const auto implies = [](const Word &word, const Word &earlier) {
        return word.number == earlier.number && word.needle.contains(earlier.needle);
    };
    const bool narrows
        = !m_lastWords.empty() && std::all_of(m_lastWords.cbegin(), m_lastWords.cend(), [&](const Word &e) {
              return std::any_of(words.cbegin(), words.cend(), [&](const Word &w) { return implies(w, e); });
          });
    // The matches in file order, which is their order in memory: a look at each goes forward.
    std::vector<quint32> matches;
    std::vector<const QByteArray *> needles;
    if (words.empty() || unmatchable) {
        // nothing
    } else if (narrows) {
        // Every match is among the previous ones; words the previous query had are held already.
        for (const Word &w : words) {
            if (std::none_of(m_lastWords.cbegin(), m_lastWords.cend(),
                    [&](const Word &e) { return e.number == w.number && e.needle == w.needle; }))
                needles.push_back(&w.needle);
        }
        matches = needles.empty() ? m_lastMatches : filter(m_lastMatches, needles);
    } else {
        // The longest word, usually the rarest, through the whole text; the others in its matches.
        const auto anchor = std::max_element(words.cbegin(), words.cend(),
            [](const Word &a, const Word &b) { return a.needle.size() < b.needle.size(); });
        for (const Word &w : words) {
            if (&w != &*anchor)
                needles.push_back(&w.needle);
        }
        matches = filter(scanAll(anchor->needle), needles);
    }

    // The first rows of the list among the matches.
    std::vector<quint64> rows((m_order.size() + 63) / 64);
    for (const quint32 contact : matches)
        rows[m_rows[contact] / 64] |= quint64(1) << (m_rows[contact] % 64);
    Results results;
    results.count = qsizetype(matches.size());
    results.shown.reserve(std::min<std::size_t>(matches.size(), MaxResults));
    for (std::size_t chunk = 0; chunk < rows.size() && results.shown.size() < MaxResults; ++chunk) {
        for (quint64 bits = rows[chunk]; bits && results.shown.size() < MaxResults; bits &= bits - 1)
            results.shown.push_back(resultFor(m_order[chunk * 64 + std::countr_zero(bits)], words));
    }
    m_lastWords = std::move(words);
    m_lastMatches = std::move(matches);
    return results;
}

std::vector<quint32> ContactSearch::filter(
    const std::vector<quint32> &contacts, std::vector<const QByteArray *> needles) const
{
    if (needles.empty())
        return contacts;
    std::vector<quint32> kept;
    if (contacts.size() > m_order.size() / 4) {
        // Among many contacts one pass through the whole text is quicker than a look at each.
        const auto longest = std::max_element(needles.begin(), needles.end(),
            [](const QByteArray *a, const QByteArray *b) { return a->size() < b->size(); });
        const std::vector<quint32> found = scanAll(**longest);
        needles.erase(longest);
        std::set_intersection(
            contacts.cbegin(), contacts.cend(), found.cbegin(), found.cend(), std::back_inserter(kept));
        return filter(kept, std::move(needles));
    }
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        // The records are far apart when the contacts are few: the next ones are fetched meanwhile.
        if (i + 4 < contacts.size())
            __builtin_prefetch(m_text.constData() + m_starts[contacts[i + 4]]);
        if (std::all_of(needles.cbegin(), needles.cend(),
                [&](const QByteArray *n) { return contains(contacts[i], *n); }))
            kept.push_back(contacts[i]);
    }
    return kept;
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
