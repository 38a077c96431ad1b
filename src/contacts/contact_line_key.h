#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The key of a record line in the contact file's own bytes (Windows-1252): surname, blank, name,
// blank. Lines are compared by it where they lie, without decoding them.
namespace ContactLineKey {

inline constexpr char SeparatorByte = char(0xE3); // 'ã'

// The line's key.
QByteArray rawKey(QByteArrayView line);
// The same as text, decoded from Windows-1252 straight into its string.
QString decodedKey(QByteArrayView line);

// Whether a line's key is the given one.
bool hasKey(QByteArrayView line, QByteArrayView key);

} // namespace ContactLineKey
