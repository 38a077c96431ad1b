#include "contacts/vcard_text.h"

#include "platform/windows1252.h"

#include <QStringDecoder>
#include <QUtf8StringView>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

bool isAscii(QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    quint64 seen = 0;
    for (; left >= 8; p += 8, left -= 8) {
        quint64 eight;
        std::memcpy(&eight, p, 8);
        seen |= eight;
    }
    for (; left > 0; --left)
        seen |= quint8(*p++);
    return (seen & 0x8080808080808080) == 0;
}

// UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise, into the memory text already
// has when nothing else shares it.
void decodeUtf8OrWindows1252Into(QString &text, QByteArrayView bytes)
{
    // Most values are ASCII: widened in one pass, without a check and a conversion.
    if (isAscii(bytes)) {
        text.resize(bytes.size());
        char16_t *out = reinterpret_cast<char16_t *>(text.data());
        for (const char c : bytes)
            *out++ = char16_t(c);
        return;
    }
    if (!QUtf8StringView(bytes.data(), bytes.size()).isValidUtf8()) {
        text = Windows1252::decode(bytes);
        return;
    }
    // UTF-8 never gives more characters than it has bytes.
    text.resize(bytes.size());
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

} // namespace

namespace VCardText {

QString unescaped(QStringView text)
{
    if (!hasBackslash(text))
        return text.toString();
    // Written into room taken once: an escape only ever makes the text shorter.
    QString out(text.size(), Qt::Uninitialized);
    QChar *end = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'n' || next == u'N') {
                *end++ = u'\n';
                ++i;
                continue;
            }
            if (next == u'\\' || next == u',' || next == u';' || next == u':') {
                *end++ = next;
                ++i;
                continue;
            }
        }
        *end++ = c;
    }
    out.truncate(end - out.constData());
    return out;
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

QString joinedItems(QStringView text, QStringView glue)
{
    // Most parts are one item with nothing escaped: the text as it is.
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return c == u',' || c == u'\\'; }))
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
