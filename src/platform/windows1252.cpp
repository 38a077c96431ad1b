#include "platform/windows1252.h"

#include <array>

namespace {

// 0x80..0x9F; the undefined positions map to the control character of the same number.
constexpr std::array<char16_t, 32> HighControls = {
    0x20AC,
    0x0081,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0x008D,
    0x017D,
    0x008F,
    0x0090,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0x009D,
    0x017E,
    0x0178,
};

int byteFor(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < int(HighControls.size()); ++i) {
        if (HighControls[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QString Windows1252::decode(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    decodeInto(bytes, reinterpret_cast<char16_t *>(text.data()));
    return text;
}

bool Windows1252::decodesTo(QByteArrayView bytes, QStringView text)
{
    if (bytes.size() != text.size())
        return false;
    const char16_t *characters = text.utf16();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (characters[i] != ((b >= 0x80 && b < 0xA0) ? HighControls[b - 0x80] : char16_t(b)))
            return false;
    }
    return true;
}

void Windows1252::decodeInto(QByteArrayView bytes, char16_t *out)
{
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b < 0xA0) ? HighControls[b - 0x80] : char16_t(b);
    }
}

QByteArray Windows1252::encode(QStringView text)
{
    QByteArray bytes;
    appendEncoded(bytes, text);
    return bytes;
}

void Windows1252::appendEncoded(QByteArray &out, QStringView text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    encodeInto(text, out.data() + start);
}

char *Windows1252::encodeInto(QStringView text, char *out)
{
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            *out++ = char(c.unicode());
            continue;
        }
        const int b = byteFor(c.unicode());
        *out++ = b < 0 ? '?' : char(b);
    }
    return out;
}

bool Windows1252::canEncode(QChar c)
{
    return byteFor(c.unicode()) >= 0;
}
