#include "contacts/vcard_text.h"

#include "platform/windows1252.h"

#include <QStringDecoder>
#include <QUtf8StringView>

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Widens the ASCII bytes at the start of bytes into out; returns how many there were.
qsizetype widenedAscii(QByteArrayView bytes, char16_t *out)
{
    const char *in = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        if (_mm_movemask_epi8(block) != 0)
            break;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(block, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(block, zero));
    }
    if (i + 8 <= size) {
        const __m128i block = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + i));
        if ((_mm_movemask_epi8(block) & 0xFF) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(block, zero));
            i += 8;
        }
    }
#endif
    for (; i < size && quint8(in[i]) < 0x80; ++i)
        out[i] = char16_t(in[i]);
    return i;
}

// UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise, into the memory text already
// has when nothing else shares it.
void decodeUtf8OrWindows1252Into(QString &text, QByteArrayView bytes)
{
    // Neither gives more characters than there are bytes.
    text.resize(bytes.size());
    char16_t *const out = reinterpret_cast<char16_t *>(text.data());
    const char *in = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype i = widenedAscii(bytes, out);
    if (i == size)
        return; // most values are ASCII
    // Most others hold nothing but ASCII and the two-byte characters of UTF-8, where the Latin
    // letters with accents are: decoded here, as the converter's setting out costs more than
    // these few bytes. A value with anything else goes whole to Qt's check and converter.
    char16_t *end = out + i;
    while (i < size) {
        const auto lead = quint8(in[i]);
        if (lead < 0x80) {
            *end++ = lead;
            ++i;
        } else if (lead >= 0xC2 && lead <= 0xDF && i + 1 < size && (quint8(in[i + 1]) & 0xC0) == 0x80) {
            *end++ = char16_t((lead & 0x1F) << 6 | (quint8(in[i + 1]) & 0x3F));
            i += 2;
        } else {
            break;
        }
    }
    if (i == size) {
        text.truncate(end - out);
        return;
    }
    if (!QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8()) {
        text = Windows1252::decode(bytes);
        return;
    }
    QStringDecoder utf8(
        QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    text.truncate(utf8.appendToBuffer(text.data(), bytes) - text.constData());
}

QString decodeUtf8OrWindows1252(QByteArrayView bytes)
{
    QString text;
    decodeUtf8OrWindows1252Into(text, bytes);
    return text;
}

// The eight places where ISO-8859-15 differs from ISO-8859-1: the euro sign, and seven letters
// where ISO-8859-1 has signs.
constexpr std::pair<char16_t, char16_t> Latin9FromLatin1[] = {
    {0xA4, 0x20AC},
    {0xA6, 0x0160},
    {0xA8, 0x0161},
    {0xB4, 0x017D},
    {0xB8, 0x017E},
    {0xBC, 0x0152},
    {0xBD, 0x0153},
    {0xBE, 0x0178},
};

QString decodeLatin9(QByteArrayView bytes)
{
    QString text = QString::fromLatin1(bytes.data(), bytes.size());
    for (QChar &c : text) {
        const auto *replaced = std::find_if(std::begin(Latin9FromLatin1), std::end(Latin9FromLatin1),
            [&c](const auto &pair) { return pair.first == c.unicode(); });
        if (replaced != std::end(Latin9FromLatin1))
            c = QChar(replaced->second);
    }
    return text;
}

// Writes text unescaped from out on, and gives where it ended: an escape only ever makes the
// text shorter, so out may be where text itself starts.
QChar *unescapeTo(QChar *out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N') {
                *out++ = u'\n';
                ++i;
                continue;
            }
            if (next == u'\\' || next == u',' || next == u';' || next == u':') {
                *out++ = next;
                ++i;
                continue;
            }
        }
        *out++ = c;
    }
    return out;
}

// Room for size characters at the start of out, where text, which may be a piece of out, stays as
// it was: out is made longer before it is written, shorter only after (the end of a text is marked
// in its memory). A text that something else shares gets memory of its own first.
QChar *roomFor(QString &out, qsizetype size)
{
    if (out.size() < size)
        out.resize(size);
    return out.data();
}

// Most parts of a value are one item with nothing escaped: to be taken as they are.
bool isOnePlainItem(QStringView text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) { return c == u',' || c == u'\\'; });
}

} // namespace

namespace VCardText {

QString unescaped(QStringView text)
{
    if (!hasBackslash(text))
        return text.toString();
    QString out(text.size(), Qt::Uninitialized);
    out.truncate(unescapeTo(out.data(), text) - out.constData());
    return out;
}

void unescapedInto(QString &out, QStringView text)
{
    QChar *const start = roomFor(out, text.size());
    out.truncate(unescapeTo(start, text) - start);
}

Pieces split(QStringView text, QChar separator)
{
    // One plain loop: a value is a few characters long, and a general search costs more in
    // setting out than in looking.
    Pieces parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
            continue;
        }
        if (text[i] == separator) {
            parts.append(text.sliced(from, i - from));
            from = i + 1;
        }
    }
    parts.append(text.sliced(std::min(from, text.size())));
    return parts;
}

void copyInto(QString &out, QStringView text)
{
    QChar *const start = roomFor(out, text.size());
    if (!text.isEmpty())
        std::memmove(start, text.data(), size_t(text.size()) * sizeof(QChar));
    out.truncate(text.size());
}

void joinedItemsInto(QString &out, QStringView text, QStringView glue)
{
    if (isOnePlainItem(text))
        copyInto(out, text);
    else
        out = joinedItems(text, glue);
}

QString joinedItems(QStringView text, QStringView glue)
{
    if (isOnePlainItem(text))
        return text.toString();
    Pieces items;
    for (QStringView item : split(text, u',')) {
        if (!item.isEmpty())
            items.append(item);
    }
    if (items.size() == 1)
        return unescaped(items.front());
    QString out;
    for (QStringView item : items) {
        const QString part = unescaped(item).trimmed();
        if (part.isEmpty())
            continue;
        if (!out.isEmpty())
            out += glue;
        out += part;
    }
    return out;
}

void decodeInto(QString &text, QByteArrayView bytes, QStringView charset)
{
    if (charset.isEmpty())
        decodeUtf8OrWindows1252Into(text, bytes);
    else
        text = decode(bytes, charset);
}

QString decode(QByteArrayView bytes, QStringView charset)
{
    if (charset.isEmpty())
        return decodeUtf8OrWindows1252(bytes);
    const QString name = charset.trimmed().toString().toLower();
    if (name.isEmpty() || name == u"utf-8" || name == u"utf8" || name == u"us-ascii" || name == u"ascii")
        return decodeUtf8OrWindows1252(bytes);
    if (name == u"iso-8859-1" || name == u"iso8859-1" || name == u"latin1" || name == u"latin-1"
        || name == u"windows-1252" || name == u"cp1252" || name == u"x-cp1252")
        return Windows1252::decode(bytes);
    if (name == u"iso-8859-15" || name == u"iso8859-15" || name == u"latin9" || name == u"latin-9")
        return decodeLatin9(bytes);
    if (name.startsWith(u"utf-16")) {
        QStringDecoder utf16(name.toLatin1().constData(), QStringDecoder::Flag::Stateless);
        if (utf16.isValid()) {
            QString text = utf16(bytes);
            if (!utf16.hasError())
                return text;
        }
    }
    return decodeUtf8OrWindows1252(bytes);
}

QByteArray fromQuotedPrintable(QByteArrayView text)
{
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            bytes += char(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
            continue;
        }
        bytes += c;
    }
    return bytes;
}

} // namespace VCardText
