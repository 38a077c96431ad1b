#pragma once

#include <QString>
#include <QStringView>
#include <array>

// A contact is a fixed record of 18 text fields, stored as one line: every field followed by the
// separator "ã". The key, which is also the text of the contact's list entry, is surname, blank,
// name, blank.
namespace ContactRecord {

inline constexpr int FieldCount = 18;
inline constexpr QChar Separator = QChar(0x00E3); // 'ã', byte 0xE3 in the file

enum Field {
    apellido,
    nombre,
    nick,
    edad,
    localidad,
    provincia,
    pais,
    domicilio,
    telefono,
    celular,
    email,
    fechaalta,
    fechanac,
    estadocivil,
    peso,
    altura,
    ocupacion,
    ubicacionfoto
};

using Fields = std::array<QString, FieldCount>;

// Surname, blank, name, blank: the text before the first two separators, each followed by a
// blank. A line with fewer separators gives what is there ("Gomez" gives "Gomez  ").
QString keyOf(QStringView line);

// The 18 fields of a line in order; missing fields are empty, text after the 18th separator is
// ignored.
Fields fieldsOf(QStringView line);

// The line of 18 fields, each followed by the separator. Text the file cannot hold (see
// isStorable) is left out, so the line always has exactly 18 separators and no line break.
QString lineOf(const Fields &fields);

// Whether a character can be part of a stored field: not the separator, not a line break, and
// representable in Windows-1252.
bool isStorable(QChar c);

// The field without the characters that cannot be stored.
QString storable(const QString &field);

// The first character in upper case, the rest unchanged.
QString capitalized(const QString &field);

} // namespace ContactRecord
