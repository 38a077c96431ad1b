#include "contacts/contact_line_key.h"

#include "platform/windows1252.h"

#include <QString>

#include <cstring>

namespace {

using ContactLineKey::SeparatorByte;

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
    const auto *second
        = static_cast<const char *>(std::memchr(data + afterFirst, SeparatorByte, line.size() - afterFirst));
    return {second ? line.first(second - data) : line, afterFirst - 1};
}

} // namespace

namespace ContactLineKey {

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

QString decodedKey(QByteArrayView line)
{
    const KeyFields fields = keyFields(line);
    const QByteArrayView bytes = fields.bytes;
    const bool withSeparator = fields.separator >= 0;
    // One string, filled in place: a list of a million keys is a million of these.
    QString key(bytes.size() + (withSeparator ? 1 : 2), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(key.data());
    Windows1252::decodeInto(bytes, out);
    if (withSeparator)
        out[fields.separator] = u' ';
    else
        out[bytes.size()] = u' ';
    out[key.size() - 1] = u' ';
    return key;
}

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

} // namespace ContactLineKey
