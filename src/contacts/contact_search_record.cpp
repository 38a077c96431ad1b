#include "contacts/contact_search_record.h"

#include "contacts/contact_record.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using ContactSearchRecord::Separator;

namespace {

inline bool isDigit(quint8 b)
{
    return b >= '0' && b <= '9';
}

} // namespace

namespace ContactSearchRecord {

char *write(char *out, QByteArrayView line, char *digits, QByteArrayView (&key)[2])
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

} // namespace ContactSearchRecord
