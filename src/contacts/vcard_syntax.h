#pragma once

#include <QByteArrayView>
#include <QVarLengthArray>

#include <cstring>

// The bytes of a card's lines as the reader and the property parser take them apart. Inline: they
// run for every line of a file.
namespace VCardSyntax {

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline QByteArrayView trimmed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

// Where c first stands at or after from, or -1. memchr itself: on the few bytes of a line,
// QByteArrayView::indexOf's calls and checks cost as much as the search.
inline qsizetype indexOf(QByteArrayView bytes, char c, qsizetype from = 0)
{
    if (from >= bytes.size())
        return -1;
    const void *found = std::memchr(bytes.data() + from, c, size_t(bytes.size() - from));
    return found ? static_cast<const char *>(found) - bytes.data() : -1;
}

inline bool contains(QByteArrayView bytes, char c)
{
    return indexOf(bytes, c) >= 0;
}

// Names compared byte for byte, the lengths first: a card's names are compared many times over,
// and most differ in length.
inline bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && (a.isEmpty() || std::memcmp(a.data(), b.data(), size_t(a.size())) == 0);
}

// Letter case ignored in ASCII, which is all the names and keywords of a card.
inline bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char x = a[i];
        const char y = b[i];
        if (x != y && !((x | 0x20) == (y | 0x20) && (x | 0x20) >= 'a' && (x | 0x20) <= 'z'))
            return false;
    }
    return true;
}

// Where the first of these characters stands outside double quotes, or -1.
inline qsizetype indexOutsideQuotes(QByteArrayView bytes, char wanted, qsizetype from = 0)
{
    // Most lines quote nothing: the first one is outside quotes when no quote comes before it.
    const qsizetype first = indexOf(bytes, wanted, from);
    if (first < 0 || !contains(bytes.sliced(from, first - from), '"'))
        return first;
    bool quoted = false;
    for (qsizetype i = from; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == wanted && !quoted)
            return i;
    }
    return -1;
}

using Parts = QVarLengthArray<QByteArrayView, 16>;

inline Parts splitOutsideQuotes(QByteArrayView bytes, char separator)
{
    Parts parts;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = indexOutsideQuotes(bytes, separator, from);
        if (at < 0) {
            parts.append(bytes.sliced(from));
            return parts;
        }
        parts.append(bytes.sliced(from, at - from));
        from = at + 1;
    }
}

} // namespace VCardSyntax
