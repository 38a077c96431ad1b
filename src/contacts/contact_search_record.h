#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// How the search index holds a contact: its 18 fields, each followed by the separator, then for
// each field whose digits are split ("0176 1234-56") its digits alone, followed by a mark naming
// the field.
namespace ContactSearchRecord {

inline constexpr char Separator = char(0xE3); // 'ã'; no field holds it, so no folded word either
// Ends the digits of a field in a record; 1 + the field's number, below any printable character.
inline constexpr quint8 FirstMark = 0x01;

// Writes a line's record at out: its 18 fields each followed by the separator (missing ones empty,
// anything after the 18th left out), then the digits of each field that has more than one run of
// them, followed by the field's mark. out has room for twice the line and 36 bytes; digits for
// the line and 18 bytes. Returns the end of the record; key gets the surname and name fields.
char *write(char *out, QByteArrayView line, char *digits, QByteArrayView (&key)[2]);

} // namespace ContactSearchRecord
