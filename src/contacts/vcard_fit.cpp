#include "contacts/vcard_fit.h"

#include "contacts/contact_record.h"
#include "platform/windows1252.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using ContactRecord::isStorable;

namespace VCardFit {

namespace {

bool isMark(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing;
}

// The character without its accents, when what is left can be stored.
QString withoutAccents(char32_t c, QString::NormalizationForm form)
{
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(form);
    QString out;
    for (char32_t part : decomposed.toUcs4()) {
        if (isMark(part))
            continue;
        const QString text = QString::fromUcs4(&part, 1);
        if (text.size() != 1 || !isStorable(text.front()))
            return {};
        out += text;
    }
    return out;
}

// Letters with a stroke, which Unicode does not decompose, and what they are without it.
constexpr std::pair<char32_t, char> Strokeless[] = {
    {U'ł', 'l'},
    {U'Ł', 'L'},
    {U'đ', 'd'},
    {U'Đ', 'D'},
    {U'ħ', 'h'},
    {U'Ħ', 'H'},
    {U'ı', 'i'},
    {U'ŧ', 't'},
    {U'Ŧ', 'T'},
};

QString strokeless(char32_t c)
{
    for (const auto &[stroked, plain] : Strokeless) {
        if (stroked == c)
            return QString(QLatin1Char(plain));
    }
    return {};
}

} // namespace

char *storedAsItIs(QStringView text, char *out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    // Eight characters at a time, then four, while they are ASCII with no line break, which is
    // most text: the mask of the bytes of such characters in a block.
    const auto plain = [](__m128i block) {
        const __m128i ascii
            = _mm_cmpeq_epi16(_mm_and_si128(block, _mm_set1_epi16(short(0xFF80))), _mm_setzero_si128());
        const __m128i lineBreak = _mm_or_si128(
            _mm_cmpeq_epi16(block, _mm_set1_epi16('\r')), _mm_cmpeq_epi16(block, _mm_set1_epi16('\n')));
        return _mm_movemask_epi8(_mm_andnot_si128(lineBreak, ascii));
    };
    for (; i + 8 <= text.size(); i += 8) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.utf16() + i));
        if (plain(block) != 0xFFFF)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(block, block));
        out += 8;
    }
    if (i + 4 <= text.size()) {
        const __m128i block = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(text.utf16() + i));
        if ((plain(block) & 0xFF) == 0xFF) {
            const int four = _mm_cvtsi128_si32(_mm_packus_epi16(block, block));
            std::memcpy(out, &four, 4);
            out += 4;
            i += 4;
        }
    }
#endif
    for (const QChar c : text.sliced(i)) {
        const char16_t code = c.unicode();
        if (code < 0x80 && code != u'\r' && code != u'\n') {
            *out++ = char(code); // most are ASCII
        } else if (code >= 0x80 && isStorable(c)) {
            out = Windows1252::encodeInto(QStringView(&c, 1), out);
        } else {
            return nullptr;
        }
    }
    return out;
}

QString fitted(const QString &text, bool *changed)
{
    const auto storable = [](QChar c) {
        return c.unicode() < 0x80 ? c != u'\r' && c != u'\n' : isStorable(c); // most are ASCII
    };
    if (std::all_of(text.cbegin(), text.cend(), storable)) {
        // Nothing to do: no character of the code page composes with another.
        if (changed)
            *changed = false;
        return text;
    }
    const QString composed = text.normalized(QString::NormalizationForm_C);
    QString out;
    out.reserve(composed.size());
    for (qsizetype i = 0; i < composed.size(); ++i) {
        const QChar c = composed[i];
        if (c == u'\r' || c == u'\n' || c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029)) {
            if (c == u'\r' && i + 1 < composed.size() && composed[i + 1] == u'\n')
                ++i;
            out += u' ';
            continue;
        }
        if (isStorable(c)) {
            out += c;
            continue;
        }
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < composed.size() && composed[i + 1].isLowSurrogate())
            code = QChar::surrogateToUcs4(c, composed[++i]);
        if (isMark(code))
            continue; // an accent with no letter to sit on
        QString replacement = withoutAccents(code, QString::NormalizationForm_D);
        if (replacement.isEmpty())
            replacement = withoutAccents(code, QString::NormalizationForm_KD);
        if (replacement.isEmpty())
            replacement = strokeless(code);
        out += replacement.isEmpty() ? QStringLiteral("?") : replacement;
    }
    if (changed)
        *changed = out != composed;
    return out;
}

} // namespace VCardFit
