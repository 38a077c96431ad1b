#include "contacts/search_folding.h"

#include "contacts/contact_search_record.h"
#include "platform/windows1252.h"

#include <algorithm>
#include <array>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using ContactSearchRecord::Separator;
using SearchFolding::Unmatchable;

namespace {

// The character without its accents, in lower case.
QChar plainLower(QChar c)
{
    while (c.decompositionTag() == QChar::Canonical)
        c = c.decomposition().front();
    return c.toCaseFolded();
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
            const QChar c = plainLower(Windows1252::decode(QByteArrayView(&byte, 1)).front());
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

} // namespace

namespace SearchFolding {

char foldedByte(QChar c)
{
    c = plainLower(c);
    if (!Windows1252::canEncode(c))
        return Unmatchable;
    const quint8 byte = quint8(Windows1252::encode(QStringView(&c, 1)).front());
    return byte == quint8(Separator) ? 'a' : char(Folded.fold[byte]);
}

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

} // namespace SearchFolding
