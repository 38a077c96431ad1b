#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The program's files are Windows-1252 text. The table is the program's own: the hot paths decode
// millions of short keys, where a general converter's set-up per call costs more than the bytes.
namespace Windows1252 {

// Byte to character as Windows converts it. The five bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same number, so that every byte
// sequence survives a decode and an encode unchanged.
QString decode(QByteArrayView bytes);
// The same into out, which has room for bytes.size() characters.
void decodeInto(QByteArrayView bytes, char16_t *out);
// Whether bytes decode to text, without decoding them into a string.
bool decodesTo(QByteArrayView bytes, QStringView text);

// Character to byte; characters outside the code page become '?'.
QByteArray encode(QStringView text);
// The same at the end of out.
void appendEncoded(QByteArray &out, QStringView text);
// The same into out, which has room for text.size() bytes; returns where the bytes end.
char *encodeInto(QStringView text, char *out);

bool canEncode(QChar c);

} // namespace Windows1252
